#include "syncrecords.h"

#include "wireprotocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

#include <initializer_list>

namespace VelmSync {

using namespace VelmWire;

namespace {

qint64 ms(const QDateTime &time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}

// Rows need every time: one the server left out takes another time of the
// same record, or the start of the epoch when it sent none, instead of the
// record (and the notes filed in it) failing to be stored on every sync.
void fillMissingTimes(std::initializer_list<QDateTime *> times)
{
    QDateTime known = QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
    for (const QDateTime *time : times) {
        if (time->isValid()) {
            known = *time;
            break;
        }
    }
    for (QDateTime *time : times) {
        if (!time->isValid())
            *time = known;
    }
}

// The text inserted before the first line break, as a plain insert of its own
// so that it takes no line or character format of its neighbours.
QString insertBeforeFirstLineBreak(const QString &body, const QString &text)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8());
    if (!doc.isArray()) {
        const qsizetype at = body.indexOf(QLatin1Char('\n'));
        return at < 0 ? body + text : body.left(at) + text + body.mid(at);
    }
    QJsonArray ops = doc.array();
    for (qsizetype i = 0; i < ops.size(); ++i) {
        const QJsonObject op = ops.at(i).toObject();
        const QString insert = op.value(QLatin1String("insert")).toString();
        const qsizetype at = insert.indexOf(QLatin1Char('\n'));
        if (!op.value(QLatin1String("insert")).isString() || at < 0)
            continue;
        QJsonObject before = op, after = op;
        before.insert(QLatin1String("insert"), insert.left(at));
        after.insert(QLatin1String("insert"), insert.mid(at));
        ops.removeAt(i);
        ops.insert(i, after);
        ops.insert(i, QJsonObject{{"insert", text}});
        if (at > 0)
            ops.insert(i, before);
        return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
    }
    ops.append(QJsonObject{{"insert", text + QLatin1Char('\n')}});
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

} // namespace

QDateTime dateFromJson(const QJsonValue &value, bool acceptText)
{
    if (value.isDouble())
        return QDateTime::fromMSecsSinceEpoch(value.toInteger(), Qt::UTC);
    if (acceptText && value.isString() && !value.toString().isEmpty())
        return VelmWire::fromIsoTime(value.toString()).toUTC();
    return {};
}

QJsonObject noteChange(const Note &note)
{
    QJsonObject data{{Field::body, note.body},
                     {Field::createdAt, ms(note.createdAt)},
                     {Field::updatedAt, ms(note.updatedAt)},
                     {Field::modifiedAt, ms(note.modifiedAt)}};
    if (!note.notebookId.isEmpty())
        data.insert(Field::notebookId, note.notebookId);
    if (note.deletedAt)
        data.insert(Field::deletedAt, ms(*note.deletedAt));
    QJsonObject change{{Field::entityType, Value::note},
                       {Field::entityId, note.id},
                       {Field::action, note.deletedAt ? Value::remove : Value::update},
                       {Field::version, note.version},
                       {Field::data, data}};
    if (note.opVersion > 0)
        change.insert(Field::baseVersion, note.opVersion);
    return change;
}

QJsonObject deletionChange(const PendingDeletion &deletion)
{
    QJsonObject data{{Field::body, deletion.body},
                     {Field::createdAt, ms(deletion.createdAt)},
                     {Field::updatedAt, ms(deletion.deletedAt)},
                     {Field::modifiedAt, ms(deletion.deletedAt)},
                     {Field::deletedAt, ms(deletion.deletedAt)}};
    if (!deletion.notebookId.isEmpty())
        data.insert(Field::notebookId, deletion.notebookId);
    return {{Field::entityType, Value::note},
            {Field::entityId, deletion.noteId},
            {Field::action, Value::purge},
            {Field::version, deletion.serverVersion + 1},
            {Field::baseVersion, deletion.serverVersion},
            {Field::data, data}};
}

Note noteFromPull(const QJsonObject &change, bool *gone)
{
    if (gone)
        *gone = change.value(Field::purged).toBool()
            || (change.value(Field::isShared).toBool() && change.value(Field::permission).toString().isEmpty());
    Note note;
    note.id = change.value(Field::id).toString();
    note.notebookId = change.value(Field::notebookId).toString();
    note.body = change.value(Field::body).toString();
    note.version = change.value(Field::version).toInt();
    note.opVersion = note.version;
    note.createdAt = dateFromJson(change.value(Field::createdAt), true);
    note.updatedAt = dateFromJson(change.value(Field::updatedAt), true);
    note.modifiedAt = dateFromJson(change.value(Field::modifiedAt), true);
    fillMissingTimes({&note.createdAt, &note.updatedAt, &note.modifiedAt});
    const QDateTime deletedAt = dateFromJson(change.value(Field::deletedAt), true);
    if (deletedAt.isValid())
        note.deletedAt = deletedAt;
    note.syncStatus = SyncStatus::Synced;
    note.ownerId = change.value(Field::ownerId).toString();
    note.isShared = change.value(Field::isShared).toBool();
    note.permission = change.value(Field::permission).toString();
    // The server names the owner of every note; locally only others' notes
    // carry one, and the flag alone marks the user's own shared notes.
    if (!note.isShared) {
        note.isShared = change.value(Field::sharedByMe).toBool();
        note.ownerId.clear();
        note.permission.clear();
    }
    return note;
}

Notebook notebookFromPull(const QJsonObject &object)
{
    Notebook notebook;
    notebook.id = object.value(Field::id).toString();
    notebook.name = object.value(Field::name).toString();
    notebook.isDefault = object.value(Field::isDefault).toBool();
    notebook.isShared = object.value(Field::isShared).toBool();
    notebook.version = object.value(Field::version).toInt();
    notebook.createdAt = dateFromJson(object.value(Field::createdAt), false);
    notebook.updatedAt = dateFromJson(object.value(Field::updatedAt), false);
    fillMissingTimes({&notebook.createdAt, &notebook.updatedAt});
    notebook.syncStatus = SyncStatus::Synced;
    return notebook;
}

Attachment attachmentFromPull(const QJsonObject &object)
{
    Attachment attachment;
    attachment.id = object.value("id").toString();
    attachment.noteId = object.value("note_id").toString();
    attachment.filename = object.value("filename").toString();
    attachment.mimeType = object.value("mime_type").toString();
    attachment.sizeBytes = object.value("size_bytes").toInteger();
    attachment.createdAt = dateFromJson(object.value("created_at"), true);
    fillMissingTimes({&attachment.createdAt});
    attachment.syncStatus = SyncStatus::Synced;
    return attachment;
}

MergeAction mergeAction(const std::optional<Note> &local, const Note &pulled, bool pulledGone)
{
    // A trashed note this device never held arrives in its trash.
    if (!local)
        return pulledGone ? MergeAction::Skip : MergeAction::Insert;
    // Gone for good: nothing to push any more, a pending edit's text survives.
    if (pulledGone)
        return local->syncStatus == SyncStatus::Synced || local->deletedAt ? MergeAction::Remove
                                                                            : MergeAction::RemoveKeepingCopy;
    if (local->syncStatus == SyncStatus::Synced)
        return pulled.version >= local->version ? MergeAction::Replace : MergeAction::Keep;
    // Pending: our own push echoed back, or an older row, leaves the edit to be pushed.
    if (pulled.version <= local->opVersion)
        return MergeAction::Keep;
    const bool sameContent = local->body == pulled.body && local->deletedAt.has_value() == pulled.deletedAt.has_value();
    // A local deletion loses nothing when the server's newer row wins.
    return sameContent || local->deletedAt ? MergeAction::Replace : MergeAction::Conflict;
}

QString safeFileName(const QString &name)
{
    QString safe;
    safe.reserve(name.size());
    for (const QChar c : name)
        safe += c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line
                || c.category() == QChar::Separator_Paragraph || c == QLatin1Char('"') || c == QLatin1Char('\\')
            ? QLatin1Char('_') : c;
    safe = safe.trimmed();
    return safe.isEmpty() ? QStringLiteral("attachment") : safe;
}

bool uploadWorthRetrying(int status)
{
    return status == 0 || status == 401 || status == 408 || status == 429 || status >= 500;
}

Note conflictCopy(const Note &local, const QDateTime &now)
{
    Note copy = local;
    copy.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    copy.body = insertBeforeFirstLineBreak(
        local.body, QStringLiteral(" (conflict %1)").arg(now.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
    copy.createdAt = copy.updatedAt = copy.modifiedAt = now;
    copy.deletedAt.reset();
    copy.version = 1;
    copy.opVersion = 0;
    copy.syncStatus = SyncStatus::Pending;
    copy.isSample = false;
    // Someone else's notebook may not take new notes from us.
    if (!local.ownerId.isEmpty() && local.permission != QLatin1String("edit"))
        copy.notebookId.clear();
    copy.ownerId.clear();
    copy.isShared = false;
    copy.permission.clear();
    return copy;
}

bool removeLocally(NoteRepository *notes, const QString &id)
{
    if (!notes->noteById(id))
        return true;
    // A purge records a deletion for the server; this one came from there.
    return notes->purge(id) && notes->syncState().clearPendingDeletion(id);
}

} // namespace VelmSync
