#pragma once

#include "db.h"
#include "store/notebookstore.h"
#include "store/notestore.h"
#include "store/sharestore.h"
#include "store/storeresult.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace VelmServer {

// One push's view of the store. The rows a push reads (its notes, their
// notebooks, the shares on both) are fetched together before the first change,
// and the notes it writes go out together at flush(): a few statements per
// push instead of several round trips per note, which is what PostgreSQL
// charges for. Answers match the stores' own lookups on the same rows.
class PushBatch
{
public:
    explicit PushBatch(Db &db) : m_db(db) {}

    // Fetches the stored notes among noteIds (locked until commit), the
    // notebooks among notebookIds and theirs, and the shares on all of them.
    [[nodiscard]] bool load(const QStringList &noteIds, const QStringList &notebookIds);

    StoreResult<std::optional<NoteRow>> note(const QString &id);
    StoreResult<std::optional<NotebookRow>> notebook(const QString &id);
    StoreResult<VelmWire::Permission> notePermission(const QString &userId, const QString &ownerId, const QString &noteId,
                                                     const QString &notebookId);
    StoreResult<VelmWire::Permission> notebookPermission(const QString &userId, const QString &ownerId,
                                                         const QString &notebookId);
    StoreResult<QSet<QString>> noteReaders(const QString &ownerId, const QString &noteId, const QString &notebookId);

    // Queues row (and its version) for flush(); later lookups see it.
    void write(const NoteRow &row, const NoteVersionRow &version);
    // The database caught up with what was queued; before any statement of
    // its own touches these notes or their versions.
    [[nodiscard]] bool flush();
    // A note written past the batch: later lookups read it again.
    void forget(const QString &noteId) { m_notes.remove(noteId); }
    void shareRemoved(VelmWire::ShareKind kind, const QString &itemId, const QString &userId);

private:
    using ShareKey = std::pair<QString, int>; // (item, kind)
    bool loadShares(VelmWire::ShareKind kind, const QStringList &itemIds);
    bool ensureShares(VelmWire::ShareKind kind, const QString &itemId);
    bool ensureNotebook(const QString &id);
    std::optional<VelmWire::Permission> shareOf(VelmWire::ShareKind kind, const QString &itemId, const QString &userId) const;

    Db &m_db;
    QHash<QString, std::optional<NoteRow>> m_notes;
    QSet<QString> m_inDb; // notes the database holds a row of
    QHash<QString, std::optional<NotebookRow>> m_notebooks;
    QHash<ShareKey, QHash<QString, VelmWire::Permission>> m_shares; // loaded items -> user -> permission
    QList<NoteRow> m_inserts;
    QHash<QString, qsizetype> m_insertAt;
    QHash<QString, NoteRow> m_updates;
    QList<QString> m_updateOrder;
    QHash<std::pair<QString, qint64>, NoteVersionRow> m_versions;
    QList<std::pair<QString, qint64>> m_versionOrder;
};

} // namespace VelmServer
