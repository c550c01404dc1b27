#include "feed.h"

#include "store/sharestore.h"

#include <QDateTime>
#include <QSqlQuery>

#include <algorithm>

namespace VelmServer {

QString notePermission(Db &db, const QString &userId, const QString &ownerId, const QString &noteId,
                       const QString &notebookId)
{
    const auto p = ShareStore(db).notePermission(userId, ownerId, noteId, notebookId);
    return p ? QString(VelmWire::permissionName(*p)) : QString();
}

QSet<QString> noteReaders(Db &db, const QString &ownerId, const QString &noteId, const QString &notebookId)
{
    auto readers = ShareStore(db).noteReaders(ownerId, noteId, notebookId);
    return readers ? std::move(*readers) : QSet<QString>{ownerId};
}

qint64 committedStamp(Db &db, const QString &userId)
{
    const auto stamp = committedCursor(db, userId);
    return stamp ? *stamp : 0;
}

StoreResult<qint64> committedCursor(Db &db, const QString &userId)
{
    QSqlQuery q = db.query();
    if (!db.run(q, QStringLiteral("SELECT last_stamp FROM users WHERE id = ?"), {userId}))
        return storeFailure;
    return q.next() ? q.value(0).toLongLong() : 0;
}

bool StampBook::lock(QSet<QString> readers)
{
    QStringList ids;
    for (const QString &id : readers)
        if (!m_last.contains(id))
            ids.append(id);
    std::sort(ids.begin(), ids.end());
    QSqlQuery q = m_db.query();
    const QString sql = QStringLiteral("SELECT last_stamp FROM users WHERE id = ?") + m_db.lockRows();
    for (const QString &id : ids) {
        if (!m_db.run(q, sql, {id}))
            return false;
        m_last.insert(id, q.next() ? q.value(0).toLongLong() : 0);
    }
    return true;
}

qint64 StampBook::next(const QString &userId)
{
    m_moved.insert(userId);
    qint64 &last = m_last[userId];
    last = std::max(QDateTime::currentMSecsSinceEpoch(), last + 1);
    return last;
}

bool StampBook::feed(Rows &rows, const QSet<QString> &readers, const QString &id)
{
    if (!lock(readers))
        return false;
    // A later stamp of the same item replaces the earlier one, as the upsert would.
    for (const QString &reader : readers)
        rows.insert({reader, id}, next(reader));
    return true;
}

bool StampBook::feedNote(const QSet<QString> &readers, const QString &noteId)
{
    return feed(m_notes, readers, noteId);
}

bool StampBook::feedAttachment(const QSet<QString> &readers, const QString &attachmentId)
{
    return feed(m_attachments, readers, attachmentId);
}

bool StampBook::touch(const QSet<QString> &readers)
{
    if (!lock(readers))
        return false;
    for (const QString &reader : readers)
        next(reader);
    return true;
}

bool StampBook::write(const QString &table, const QString &column, const Rows &rows)
{
    // Fixed chunks keep the number of distinct statements (each prepared once
    // per connection) small.
    constexpr int chunk = 64;
    QSqlQuery q = m_db.query();
    QVariantList values;
    values.reserve(chunk * 3);
    int pending = 0;
    const auto flush = [&] {
        const bool ok = m_db.run(q, QStringLiteral("INSERT INTO %1 (user_id, %2, stamp) VALUES %3 ON CONFLICT (user_id, %2)"
                                                   " DO UPDATE SET stamp = excluded.stamp")
                                        .arg(table, column, Db::valueRows(pending, 3)),
                                 values);
        values.clear();
        pending = 0;
        return ok;
    };
    for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
        values << it.key().first << it.key().second << it.value();
        if (++pending == chunk && !flush())
            return false;
    }
    return pending == 0 || flush();
}

bool StampBook::save()
{
    if (!write(QStringLiteral("feed"), QStringLiteral("note_id"), m_notes)
        || !write(QStringLiteral("attachment_feed"), QStringLiteral("attachment_id"), m_attachments))
        return false;
    m_notes.clear();
    m_attachments.clear();
    QSqlQuery q = m_db.query();
    for (auto it = m_last.cbegin(); it != m_last.cend(); ++it)
        if (!m_db.run(q, QStringLiteral("UPDATE users SET last_stamp = ? WHERE id = ?"), {it.value(), it.key()})
            || (m_moved.contains(it.key()) && !m_db.announce(it.key(), it.value())))
            return false;
    return true;
}

} // namespace VelmServer
