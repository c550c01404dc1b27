#pragma once

#include "sharingbackend.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QLabel;
class QVBoxLayout;

namespace VelmAccount {

// Upper-case initials of a name, else the e-mail's first letter, else "?".
QString personInitials(const QString &displayName, const QString &email);
// Group members to offer: not the user, not anyone who already has access.
QList<GroupPerson> membersToOffer(const QList<GroupPerson> &group, const QString &selfId,
                                  const QList<ShareMember> &shares);

// Shows who has access to one note or notebook and shares it with the other
// members of the user's group. Every change goes straight to the server; one
// change at a time.
class ShareMembersDialog final : public QDialog
{
    Q_OBJECT
public:
    // Texts in the order of the sharing configuration; empty ones take their default.
    enum Text { Title, Subtitle, Description, AccessHeading, MembersHeading, EmptyAccess, NoGroupHint,
                AllHaveAccessHint, ShareButton, RemoveButton, CloseButton, Permission, ShareFailedTitle,
                RemoveFailedTitle, RemoveQuestionTitle, RemoveQuestion, TextCount };
    // Answers with the user's own id and the group's members.
    using GroupLoader = std::function<void(std::function<void(const QString &selfId, const QList<GroupPerson> &)>)>;

    ShareMembersDialog(SharingBackend *backend, const QString &resourceId, const QStringList &texts,
                       GroupLoader loadGroup, QWidget *parent = nullptr);

    void reload();
    void shareWith(const GroupPerson &person);
    bool isBusy() const { return m_busy; }
    QString errorText() const;

signals:
    void sharingChanged();

private:
    QString text(Text which) const;
    void rebuild();
    void removeAccess(const ShareMember &share);
    QWidget *personRow(const QString &name, const QString &email, bool member, QWidget *button);

    SharingBackend *m_backend;
    QString m_resourceId;
    QStringList m_texts;
    GroupLoader m_loadGroup;
    QList<ShareMember> m_shares;
    QList<GroupPerson> m_group;
    QString m_selfId;
    bool m_busy = false;
    QLabel *m_error = nullptr;
    QVBoxLayout *m_accessRows = nullptr;
    QVBoxLayout *m_memberRows = nullptr;
    QLabel *m_noGroupHint = nullptr;
    QLabel *m_allHaveAccessHint = nullptr;
};

} // namespace VelmAccount
