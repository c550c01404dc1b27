#include "feed.h"

#include <QDateTime>

#include <algorithm>

namespace VelmServer {

namespace {

QString stronger(const QString &a, const QString &b)
{
    const auto rank = [](const QString &p) { return p == QLatin1String("edit") ? 2 : p == QLatin1String("view") ? 1 : 0; };
    return rank(a) >= rank(b) ? a : b;
}

} // namespace

QString notePermission(Db &db, const QString &userId, const QString &ownerId, const QString &noteId,
                       const QString &notebookId)
{
    if (ownerId == userId)
        return QStringLiteral("owner");
    QSqlQuery q = db.query();
    QString best;
    db.run(q, QStringLiteral("SELECT permission FROM shares WHERE user_id = ? AND ((kind = 0 AND item_id = ?)"
                             " OR (kind = 1 AND item_id = ?))"), {userId, noteId, notebookId});
    while (q.next())
        best = stronger(best, q.value(0).toString());
    if (!notebookId.isEmpty()) {
        // Notes others add to a notebook stay editable by its owner.
        db.run(q, QStringLiteral("SELECT 1 FROM notebooks WHERE id = ? AND owner_id = ?"), {notebookId, userId});
        if (q.next())
            best = QStringLiteral("edit");
    }
    return best;
}

QString notebookPermission(Db &db, const QString &userId, const QString &ownerId, const QString &notebookId)
{
    if (ownerId == userId)
        return QStringLiteral("owner");
    QSqlQuery q = db.query();
    db.run(q, QStringLiteral("SELECT permission FROM shares WHERE user_id = ? AND kind = 1 AND item_id = ?"),
           {userId, notebookId});
    return q.next() ? q.value(0).toString() : QString();
}

qint64 committedStamp(Db &db, const QString &userId)
{
    QSqlQuery q = db.query();
    db.run(q, QStringLiteral("SELECT last_stamp FROM users WHERE id = ?"), {userId});
    return q.next() ? q.value(0).toLongLong() : 0;
}

QSet<QString> noteReaders(Db &db, const QString &ownerId, const QString &noteId, const QString &notebookId)
{
    QSet<QString> readers{ownerId};
    QSqlQuery q = db.query();
    db.run(q, QStringLiteral("SELECT user_id FROM shares WHERE (kind = 0 AND item_id = ?) OR (kind = 1 AND item_id = ?)"),
           {noteId, notebookId});
    while (q.next())
        readers.insert(q.value(0).toString());
    if (!notebookId.isEmpty()) {
        db.run(q, QStringLiteral("SELECT owner_id FROM notebooks WHERE id = ?"), {notebookId});
        if (q.next())
            readers.insert(q.value(0).toString());
    }
    return readers;
}

bool StampBook::lock(QSet<QString> readers)
{
    QStringList ids;
    for (const QString &id : readers)
        if (!m_last.contains(id))
            ids.append(id);
    std::sort(ids.begin(), ids.end());
    QSqlQuery q = m_db.query();
    const QString sql = m_db.kind() == Db::Kind::Postgres
        ? QStringLiteral("SELECT last_stamp FROM users WHERE id = ? FOR UPDATE")
        : QStringLiteral("SELECT last_stamp FROM users WHERE id = ?");
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

bool StampBook::feed(const QString &table, const QString &column, const QSet<QString> &readers, const QString &id)
{
    if (!lock(readers))
        return false;
    QSqlQuery q = m_db.query();
    const QString sql = QStringLiteral("INSERT INTO %1 (user_id, %2, stamp) VALUES (?, ?, ?) ON CONFLICT (user_id, %2)"
                                       " DO UPDATE SET stamp = excluded.stamp").arg(table, column);
    for (const QString &reader : readers)
        if (!m_db.run(q, sql, {reader, id, next(reader)}))
            return false;
    return true;
}

bool StampBook::feedNote(const QSet<QString> &readers, const QString &noteId)
{
    return feed(QStringLiteral("feed"), QStringLiteral("note_id"), readers, noteId);
}

bool StampBook::feedAttachment(const QSet<QString> &readers, const QString &attachmentId)
{
    return feed(QStringLiteral("attachment_feed"), QStringLiteral("attachment_id"), readers, attachmentId);
}

bool StampBook::save()
{
    QSqlQuery q = m_db.query();
    for (auto it = m_last.cbegin(); it != m_last.cend(); ++it)
        if (!m_db.run(q, QStringLiteral("UPDATE users SET last_stamp = ? WHERE id = ?"), {it.value(), it.key()})
            || (m_moved.contains(it.key()) && !m_db.announce(it.key(), it.value())))
            return false;
    return true;
}

} // namespace VelmServer
