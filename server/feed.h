#pragma once

#include "db.h"

#include <QHash>
#include <QSet>
#include <QString>

namespace VelmServer {

// Who may see a note and how: "owner", "edit", "view", or empty for no access.
QString notePermission(Db &db, const QString &userId, const QString &ownerId, const QString &noteId,
                       const QString &notebookId);
QString notebookPermission(Db &db, const QString &userId, const QString &ownerId, const QString &notebookId);
// Everyone whose pull must bring a change to this note.
QSet<QString> noteReaders(Db &db, const QString &ownerId, const QString &noteId, const QString &notebookId);

// The highest stamp the user's committed writes reached; every stamp up to it is visible.
qint64 committedStamp(Db &db, const QString &userId);

// Hands out each reader's pull stamps inside one write transaction. The
// readers' rows stay locked until commit, so stamps become visible in order
// and a pull cursor never passes a stamp that is still uncommitted.
class StampBook
{
public:
    explicit StampBook(Db &db) : m_db(db) {}
    // Locks the readers not yet held (sorted, so concurrent writers never deadlock).
    bool lock(QSet<QString> readers);
    qint64 next(const QString &userId);
    bool feedNote(const QSet<QString> &readers, const QString &noteId);
    bool feedAttachment(const QSet<QString> &readers, const QString &attachmentId);
    bool save();

private:
    bool feed(const QString &table, const QString &column, const QSet<QString> &readers, const QString &id);
    Db &m_db;
    QHash<QString, qint64> m_last;
    QSet<QString> m_moved;
};

} // namespace VelmServer
