#include "accountbinding.h"

#include "attachmentrepository.h"
#include "database.h"
#include "sqlhelpers.h"
#include "storagelog.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

using namespace SqlHelpers;

namespace {

const char *const kUntouchedWelcome = "(is_sample = 1 AND version = 1)";
const char *const kOwn = "(owner_id IS NULL OR owner_id = '')";

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString placeholders(qsizetype count)
{
    QStringList marks(count, QStringLiteral("?"));
    return marks.join(QLatin1Char(','));
}

// Links to notes and attachments name them by id; only those ids are renamed.
QString renameLinks(const QString &body, const QHash<QString, QString> &renamed)
{
    static const QRegularExpression link(QStringLiteral("velmora-notes://(?:note|attachment)/([0-9a-fA-F-]{36})"));
    QString result;
    qsizetype from = 0;
    for (auto match = link.globalMatch(body); match.hasNext();) {
        const QRegularExpressionMatch m = match.next();
        const auto to = renamed.constFind(m.captured(1));
        if (to == renamed.constEnd())
            continue;
        result += QStringView(body).mid(from, m.capturedStart(1) - from);
        result += *to;
        from = m.capturedEnd(1);
    }
    if (from == 0)
        return body;
    result += QStringView(body).mid(from);
    return result;
}

} // namespace

AccountBinding::AccountBinding(Database *database)
    : m_database(database)
{
}

bool AccountBinding::bind(const QString &previous, const QString &account)
{
    if (account.isEmpty() || previous == account)
        return true;
    const QString away = previous.isEmpty() ? kBeforeSignIn : previous;
    QSqlQuery q(m_database->database());
    WriteScope write(m_database->database());
    if (!write.isOpen())
        return false;
    for (const char *table : {"notes", "notebooks", "sync_queue"}) {
        const QString untouched = QLatin1String(table) == QLatin1String("notes")
            ? QStringLiteral(" AND NOT %1").arg(QLatin1String(kUntouchedWelcome)) : QString();
        if (!exec(q, QStringLiteral("UPDATE %1 SET account = ? WHERE account = ''%2").arg(table, untouched), {away})
            || !exec(q, QStringLiteral("UPDATE %1 SET account = '' WHERE account = ?").arg(table), {account})) {
            qCWarning(lcStorage).noquote() << "Account binding not changed:" << q.lastError().text();
            return false;
        }
    }
    return write.commit();
}

AccountBinding::Others AccountBinding::others(const QStringList &settled) const
{
    Others found;
    const QVariantList excluded = QVariantList{QString(""), kThisComputer} + QVariantList(settled.begin(), settled.end());
    // account > '' reads the account index's short tail, not every note row.
    const QString notIn = QStringLiteral("account > '' AND account NOT IN (%1)").arg(placeholders(excluded.size()));
    QSqlQuery q(m_database->database());
    const auto read = [&](const QString &sql, QStringList *ids) {
        if (!exec(q, sql, excluded)) {
            qCWarning(lcStorage).noquote() << "Other accounts' rows not read:" << q.lastError().text();
            return;
        }
        while (q.next()) {
            ids->append(q.value(0).toString());
            if (!found.accounts.contains(q.value(1).toString()))
                found.accounts.append(q.value(1).toString());
        }
    };
    read(QStringLiteral("SELECT id, account FROM notes WHERE %1 AND %2 AND NOT %3")
             .arg(notIn, QLatin1String(kOwn), QLatin1String(kUntouchedWelcome)),
         &found.noteIds);
    read(QStringLiteral("SELECT id, account FROM notebooks WHERE %1 AND %2 AND deleted_at IS NULL")
             .arg(notIn, QLatin1String(kOwn)),
         &found.notebookIds);
    return found;
}

bool AccountBinding::keepOnThisComputer()
{
    QSqlQuery q(m_database->database());
    WriteScope write(m_database->database());
    for (const char *table : {"notes", "notebooks"}) {
        if (!exec(q, QStringLiteral("UPDATE %1 SET account = ? WHERE account = ?").arg(table),
                  {kThisComputer, kBeforeSignIn})) {
            qCWarning(lcStorage).noquote() << "Notes not kept on this computer:" << q.lastError().text();
            return false;
        }
    }
    return write.commit();
}

std::optional<QHash<QString, QString>> AccountBinding::adopt(const Others &others)
{
    QHash<QString, QString> notes, notebooks, attachments;
    for (const QString &id : others.noteIds)
        notes.insert(id, newId());
    for (const QString &id : others.notebookIds)
        notebooks.insert(id, newId());
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("SELECT id, note_id FROM attachments")))
        return std::nullopt;
    while (q.next()) {
        if (notes.contains(q.value(1).toString()))
            attachments.insert(q.value(0).toString(), newId());
    }

    // The files first, as copies: a failure leaves everything as it was, and
    // the old files go only once the rows name the new ones.
    QStringList copies;
    const auto dropCopies = [&copies] {
        for (const QString &path : std::as_const(copies))
            QFile::remove(path);
    };
    for (auto it = attachments.cbegin(); it != attachments.cend(); ++it) {
        const QString from = AttachmentRepository::filePath(it.key());
        if (from.isEmpty() || !QFile::exists(from))
            continue; // its upload reports it missing, as any missing file
        const QString to = AttachmentRepository::filePath(it.value());
        if (!QFile::copy(from, to)) {
            qCWarning(lcStorage).noquote() << "Attachment not copied for another account:" << from << "to" << to;
            dropCopies();
            return std::nullopt;
        }
        copies << to;
    }

    WriteScope write(m_database->database());
    const auto run = [&](const QString &sql, const QVariantList &values) {
        if (exec(q, sql, values))
            return true;
        qCWarning(lcStorage).noquote() << "Notes not moved into this account:" << q.lastError().text();
        return false;
    };
    // Children name their note by id; they follow it within the transaction.
    bool ok = write.isOpen() && run(QStringLiteral("PRAGMA defer_foreign_keys = ON"), {});
    for (auto it = notes.cbegin(); ok && it != notes.cend(); ++it) {
        ok = run(QStringLiteral("UPDATE notes SET id = ?, version = 1, op_version = 0, sync_status = 'pending', "
                                "account = '' WHERE id = ?"),
                 {it.value(), it.key()})
            && run(QStringLiteral("DELETE FROM note_bases WHERE note_id = ?"), {it.key()});
        for (const char *table :
             {"note_snapshots", "note_task_settings", "attachments", "note_operations", "tasks", "todo_items"})
            ok = ok && run(QStringLiteral("UPDATE %1 SET note_id = ? WHERE note_id = ?").arg(table), {it.value(), it.key()});
    }
    for (auto it = notebooks.cbegin(); ok && it != notebooks.cend(); ++it) {
        ok = run(QStringLiteral("UPDATE notebooks SET id = ?, version = 1, sync_status = 'pending', account = '' "
                                "WHERE id = ?"),
                 {it.value(), it.key()})
            && run(QStringLiteral("UPDATE notes SET notebook_id = ? WHERE notebook_id = ? AND account = ''"),
                   {it.value(), it.key()});
    }
    for (auto it = attachments.cbegin(); ok && it != attachments.cend(); ++it)
        ok = run(QStringLiteral("UPDATE attachments SET id = ?, sync_status = 'pending' WHERE id = ?"),
                 {it.value(), it.key()});

    // Links in this account's notes and in the moved notes' history.
    QHash<QString, QString> renamed = notes;
    renamed.insert(attachments);
    const auto relink = [&](const QString &select, const QString &update) {
        if (!ok || !exec(q, select))
            return false;
        QList<std::pair<QString, QString>> changed;
        while (q.next()) {
            const QString body = q.value(1).toString();
            const QString relinked = renameLinks(body, renamed);
            if (relinked != body)
                changed.append({q.value(0).toString(), relinked});
        }
        for (const auto &[id, body] : std::as_const(changed))
            if (!run(update, {body, id}))
                return false;
        return true;
    };
    if (!renamed.isEmpty()) {
        ok = relink(QStringLiteral("SELECT id, body FROM notes WHERE account = '' AND body LIKE '%velmora-notes://%'"),
                    QStringLiteral("UPDATE notes SET body = ?, version = version + 1, sync_status = 'pending' "
                                   "WHERE id = ?"))
            && relink(QStringLiteral("SELECT id, body FROM note_snapshots WHERE body LIKE '%velmora-notes://%'"),
                      QStringLiteral("UPDATE note_snapshots SET body = ? WHERE id = ?"));
    }
    if (!ok || !write.commit()) {
        dropCopies();
        return std::nullopt;
    }
    for (auto it = attachments.cbegin(); it != attachments.cend(); ++it)
        QFile::remove(AttachmentRepository::filePath(it.key()));
    qCInfo(lcStorage) << "Moved into this account:" << notes.size() << "notes," << notebooks.size() << "notebooks,"
                      << attachments.size() << "attachments";
    return notes;
}

bool AccountBinding::claim(const QString &table, const QStringList &ids)
{
    if (ids.isEmpty())
        return true;
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("UPDATE %1 SET account = '' WHERE account != '' AND id IN (%2)")
                     .arg(table, placeholders(ids.size())),
              QVariantList(ids.begin(), ids.end()))) {
        qCWarning(lcStorage).noquote() << "Rows the server listed not bound to its account:" << q.lastError().text();
        return false;
    }
    if (q.numRowsAffected() > 0)
        qCInfo(lcStorage) << "Bound to the account signed in, as its server lists them:" << q.numRowsAffected() << table;
    return true;
}

QSet<QString> AccountBinding::ids(const QString &table) const
{
    QSet<QString> found;
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("SELECT id FROM %1 WHERE account > ''").arg(table))) {
        qCWarning(lcStorage).noquote() << "Other accounts' rows not read:" << q.lastError().text();
        return found;
    }
    while (q.next())
        found.insert(q.value(0).toString());
    return found;
}

QSet<QString> AccountBinding::unboundNoteIds() const
{
    return ids(QStringLiteral("notes"));
}

QSet<QString> AccountBinding::unboundNotebookIds() const
{
    return ids(QStringLiteral("notebooks"));
}
