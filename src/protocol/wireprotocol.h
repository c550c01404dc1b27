#pragma once

// The sync and account API as both ends speak it: paths, JSON field names,
// enums and limits. The application and velmora-server include this one
// header, so a name changed on one side changes on the other. QtCore only.

#include <QDateTime>
#include <QLatin1StringView>
#include <QString>

#include <optional>

namespace VelmWire {

// Roots of the three APIs; the sign-in API continues with the realm.
inline constexpr char syncBase[] = "/notes/v1";
inline constexpr char accountBase[] = "/account/v1";
inline constexpr char realmsBase[] = "/api/v1/realms/";

namespace Path {
// Under syncBase.
inline constexpr char notebooks[] = "/notebooks";         // + "/<id>", "/<id>/shares", "/<id>/share"
inline constexpr char notebookShares[] = "/shares";        // after "/notebooks/<id>"; + "/<member>"
inline constexpr char notebookShare[] = "/share";          // after "/notebooks/<id>": add one
inline constexpr char noteShares[] = "/shares/notes";      // + "/<id>", "/<id>/<member>"
inline constexpr char push[] = "/sync/push";
inline constexpr char pull[] = "/sync/pull";
inline constexpr char feed[] = "/sync/feed";
inline constexpr char attachments[] = "/attachments";      // + "/<id>"
// Under accountBase.
inline constexpr char profile[] = "/profile";
inline constexpr char devices[] = "/devices";              // + "/<id>"
inline constexpr char group[] = "/group";
inline constexpr char groupMembers[] = "/group/members";   // + "/<id>"
inline constexpr char groupInvitations[] = "/group/invitations"; // + "/<id>"
inline constexpr char groupInvite[] = "/group/invite";
inline constexpr char groupJoin[] = "/group/join";         // + "/<code>"
inline constexpr char groupLeave[] = "/group/leave";
// Under realmsBase + realm.
inline constexpr char token[] = "/auth/token";
inline constexpr char tokenRefresh[] = "/auth/token/refresh";
inline constexpr char logout[] = "/auth/logout";
inline constexpr char me[] = "/users/me";
inline constexpr char password[] = "/users/me/password";
inline constexpr char sessions[] = "/users/me/sessions";   // + "/<id>"
} // namespace Path

// root + "/" + id: one item under a collection path.
inline QString at(const char *root, const QString &id)
{
    return QLatin1StringView(root) + u'/' + id;
}

// Query parameters and JSON fields of the sync API.
namespace Field {
inline constexpr char since[] = "since";
inline constexpr char changes[] = "changes";
inline constexpr char results[] = "results";
inline constexpr char timestamp[] = "timestamp";
inline constexpr char hasMore[] = "has_more";
inline constexpr char error[] = "error";
// A pushed change and its result.
inline constexpr char entityId[] = "entity_id";
inline constexpr char entityType[] = "entity_type";
inline constexpr char action[] = "action";
inline constexpr char data[] = "data";
inline constexpr char version[] = "version";
inline constexpr char baseVersion[] = "base_version";
inline constexpr char status[] = "status";
inline constexpr char code[] = "code";
inline constexpr char message[] = "message";
inline constexpr char merged[] = "merged";
// Notes and notebooks.
inline constexpr char id[] = "id";
inline constexpr char name[] = "name";
inline constexpr char body[] = "body";
inline constexpr char notebookId[] = "notebook_id";
inline constexpr char createdAt[] = "created_at";
inline constexpr char updatedAt[] = "updated_at";
inline constexpr char modifiedAt[] = "modified_at";
inline constexpr char deletedAt[] = "deleted_at";
inline constexpr char ownerId[] = "owner_id";
inline constexpr char isShared[] = "is_shared";
inline constexpr char isDefault[] = "is_default";
inline constexpr char sharedByMe[] = "shared_by_me";
inline constexpr char permission[] = "permission";
inline constexpr char purged[] = "purged";
inline constexpr char notebooks[] = "notebooks";
// Shares.
inline constexpr char shares[] = "shares";
inline constexpr char accountId[] = "account_id";
} // namespace Field

// JSON fields of the account and sign-in APIs (profile, devices, group,
// sessions, tokens). Names shared with the sync API come from Field.
namespace AccountField {
inline constexpr char email[] = "email";
inline constexpr char displayName[] = "display_name";
inline constexpr char username[] = "username";
inline constexpr char avatarUrl[] = "avatar_url";
inline constexpr char language[] = "language";
inline constexpr char timezone[] = "timezone";
inline constexpr char status[] = "status";
inline constexpr char ok[] = "ok";
// Groups, members and invitations.
inline constexpr char group[] = "group";
inline constexpr char groupId[] = "group_id";
inline constexpr char role[] = "role";
inline constexpr char memberCount[] = "member_count";
inline constexpr char maxSeats[] = "max_seats";
inline constexpr char members[] = "members";
inline constexpr char authUserId[] = "auth_user_id";
inline constexpr char joinedAt[] = "joined_at";
inline constexpr char invitations[] = "invitations";
inline constexpr char pendingInvitations[] = "pending_invitations";
inline constexpr char invitedEmail[] = "invited_email";
inline constexpr char inviteCode[] = "invite_code";
inline constexpr char expiresAt[] = "expires_at";
// Devices.
inline constexpr char devices[] = "devices";
inline constexpr char deviceName[] = "device_name";
inline constexpr char platform[] = "platform";
inline constexpr char appId[] = "app_id";
inline constexpr char appVersion[] = "app_version";
inline constexpr char lastSyncAt[] = "last_sync_at";
inline constexpr char deviceFingerprint[] = "device_fingerprint";
inline constexpr char isCurrent[] = "is_current";
// Sessions and passwords.
inline constexpr char sessions[] = "sessions";
inline constexpr char sessionsEnded[] = "sessions_ended";
inline constexpr char userAgent[] = "user_agent";
inline constexpr char ipAddress[] = "ip_address";
inline constexpr char lastActiveAt[] = "last_active_at";
inline constexpr char currentPassword[] = "current_password";
inline constexpr char newPassword[] = "new_password";
// Tokens and the code exchange.
inline constexpr char accessToken[] = "access_token";
inline constexpr char refreshToken[] = "refresh_token";
inline constexpr char tokenType[] = "token_type";
inline constexpr char expiresIn[] = "expires_in";
inline constexpr char grantType[] = "grant_type";
inline constexpr char codeVerifier[] = "code_verifier";
inline constexpr char redirectUri[] = "redirect_uri";
inline constexpr char clientId[] = "client_id";
inline constexpr char state[] = "state";
} // namespace AccountField

// Account values: a member's "role", the code exchange's "grant_type".
namespace AccountValue {
inline constexpr char owner[] = "owner";
inline constexpr char member[] = "member";
inline constexpr char authorizationCode[] = "authorization_code";
inline constexpr char bearer[] = "Bearer";
} // namespace AccountValue

// Headers a client sends to describe its installation.
namespace Header {
inline constexpr char appId[] = "X-App-Id";
inline constexpr char deviceId[] = "X-Device-Id";
inline constexpr char deviceName[] = "X-Device-Name";
inline constexpr char appVersion[] = "X-App-Version";
inline constexpr char platform[] = "X-Platform";
} // namespace Header

// Values of "entity_type", "action" and a push result's "status".
namespace Value {
inline constexpr char note[] = "note";
inline constexpr char update[] = "update";
inline constexpr char remove[] = "delete";
inline constexpr char purge[] = "purge";
inline constexpr char ok[] = "ok";
inline constexpr char failed[] = "error";
inline constexpr char conflict[] = "conflict";
inline constexpr char purgedStatus[] = "purged";
inline constexpr char left[] = "left";
} // namespace Value

// What a caller may do with a note or notebook; None is an empty string on the wire.
enum class Permission { None, View, Edit, Owner };

inline QLatin1StringView permissionName(Permission p)
{
    switch (p) {
    case Permission::View: return QLatin1StringView("view");
    case Permission::Edit: return QLatin1StringView("edit");
    case Permission::Owner: return QLatin1StringView("owner");
    case Permission::None: break;
    }
    return QLatin1StringView("");
}

inline Permission permissionFromName(QStringView name)
{
    if (name == QLatin1StringView("owner"))
        return Permission::Owner;
    if (name == QLatin1StringView("edit"))
        return Permission::Edit;
    return name == QLatin1StringView("view") ? Permission::View : Permission::None;
}

// What a share covers. The numbers are stored by the server: never renumber.
enum class ShareKind { Note = 0, Notebook = 1 };

// Limits the server enforces and the client stays under.
inline constexpr int pullPageSize = 500;
inline constexpr int pushMaxChanges = 1000;
inline constexpr qint64 pushMaxBytes = 32LL * 1024 * 1024;

// Note times travel as milliseconds since the epoch; account times (profiles,
// devices, sessions, invitations) as ISO 8601 UTC text with milliseconds.
inline constexpr Qt::DateFormat timeFormat = Qt::ISODateWithMs;

inline QString isoTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(timeFormat);
}

inline QDateTime fromIsoTime(const QString &text)
{
    return QDateTime::fromString(text, timeFormat);
}

} // namespace VelmWire
