#pragma once

#include "db.h"
#include "store/storeresult.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <utility>

namespace VelmServer {

// The highest stamp the user's committed writes reached; every stamp up to it is visible.
StoreResult<qint64> committedCursor(Db &db, const QString &userId);

// The attachment routes' view of the share store: a permission word ("owner",
// "edit", "view", empty for none or a failed lookup), the note's readers, the
// committed stamp (0 when unknown).
QString notePermission(Db &db, const QString &userId, const QString &ownerId, const QString &noteId,
                       const QString &notebookId);
QSet<QString> noteReaders(Db &db, const QString &ownerId, const QString &noteId, const QString &notebookId);
qint64 committedStamp(Db &db, const QString &userId);

// Hands out each reader's pull stamps inside one write transaction. The
// readers' rows stay locked until commit, so stamps become visible in order
// and a pull cursor never passes a stamp that is still uncommitted. The feed
// rows are written together by save(), a few statements for a whole push.
class StampBook
{
public:
    explicit StampBook(Db &db) : m_db(db) {}
    // Locks the readers not yet held (sorted, so concurrent writers never deadlock).
    [[nodiscard]] bool lock(QSet<QString> readers);
    qint64 next(const QString &userId);
    [[nodiscard]] bool feedNote(const QSet<QString> &readers, const QString &noteId);
    [[nodiscard]] bool feedAttachment(const QSet<QString> &readers, const QString &attachmentId);
    // Moves the readers' cursors without a feed row: a change that pulls do
    // not list (a notebook's) still wakes their change feeds.
    [[nodiscard]] bool touch(const QSet<QString> &readers);
    [[nodiscard]] bool save();

private:
    using Rows = QHash<std::pair<QString, QString>, qint64>; // (reader, item) -> stamp
    bool feed(Rows &rows, const QSet<QString> &readers, const QString &id);
    bool write(const QString &table, const QString &column, const Rows &rows);
    Db &m_db;
    QHash<QString, qint64> m_last;
    QSet<QString> m_moved;
    Rows m_notes, m_attachments;
};

} // namespace VelmServer
