#include "pushbatch.h"

namespace VelmServer {

namespace {

Permission stronger(Permission a, Permission b)
{
    return int(a) >= int(b) ? a : b;
}

} // namespace

bool PushBatch::load(const QStringList &noteIds, const QStringList &notebookIds)
{
    const auto stored = NoteStore(m_db).byIds(noteIds, true);
    if (!stored)
        return false;
    for (const QString &id : noteIds)
        m_notes.insert(id, std::nullopt);
    QSet<QString> books(notebookIds.cbegin(), notebookIds.cend());
    for (const NoteRow &n : *stored) {
        m_notes.insert(n.id, n);
        m_inDb.insert(n.id);
        books.insert(n.notebookId);
    }
    books.remove(QString());
    const QStringList bookIds(books.cbegin(), books.cend());
    const auto found = NotebookStore(m_db).byIds(bookIds);
    if (!found)
        return false;
    for (const QString &id : bookIds)
        m_notebooks.insert(id, std::nullopt);
    for (const NotebookRow &b : *found)
        m_notebooks.insert(b.id, b);
    return loadShares(ShareKind::Note, noteIds) && loadShares(ShareKind::Notebook, bookIds);
}

bool PushBatch::loadShares(ShareKind kind, const QStringList &itemIds)
{
    if (itemIds.isEmpty())
        return true;
    const auto shares = ShareStore(m_db).onItems(kind, itemIds);
    if (!shares)
        return false;
    for (const QString &id : itemIds)
        m_shares.insert({id, int(kind)}, {});
    for (const ShareRow &s : *shares)
        m_shares[{s.itemId, int(kind)}].insert(s.userId, s.permission);
    return true;
}

bool PushBatch::ensureShares(ShareKind kind, const QString &itemId)
{
    return itemId.isEmpty() || m_shares.contains({itemId, int(kind)}) || loadShares(kind, {itemId});
}

bool PushBatch::ensureNotebook(const QString &id)
{
    if (id.isEmpty() || m_notebooks.contains(id))
        return true;
    const auto found = NotebookStore(m_db).byId(id);
    if (!found)
        return false;
    m_notebooks.insert(id, *found);
    return true;
}

std::optional<Permission> PushBatch::shareOf(ShareKind kind, const QString &itemId, const QString &userId) const
{
    const auto users = m_shares.constFind({itemId, int(kind)});
    if (users == m_shares.cend() || !users->contains(userId))
        return std::nullopt;
    return users->value(userId);
}

StoreResult<std::optional<NoteRow>> PushBatch::note(const QString &id)
{
    if (!m_notes.contains(id)) {
        const auto found = NoteStore(m_db).byId(id, true);
        if (!found)
            return storeFailure;
        m_notes.insert(id, *found);
        if (*found)
            m_inDb.insert(id);
    }
    return m_notes.value(id);
}

StoreResult<std::optional<NotebookRow>> PushBatch::notebook(const QString &id)
{
    if (!ensureNotebook(id))
        return storeFailure;
    return m_notebooks.value(id);
}

StoreResult<Permission> PushBatch::notePermission(const QString &userId, const QString &ownerId, const QString &noteId,
                                                  const QString &notebookId)
{
    if (ownerId == userId)
        return Permission::Owner;
    if (!ensureShares(ShareKind::Note, noteId) || !ensureShares(ShareKind::Notebook, notebookId)
        || !ensureNotebook(notebookId))
        return storeFailure;
    Permission best = stronger(shareOf(ShareKind::Note, noteId, userId).value_or(Permission::None),
                               shareOf(ShareKind::Notebook, notebookId, userId).value_or(Permission::None));
    // Notes others add to a notebook stay editable by its owner.
    const std::optional<NotebookRow> book = m_notebooks.value(notebookId);
    if (book && book->ownerId == userId)
        best = Permission::Edit;
    return best;
}

StoreResult<Permission> PushBatch::notebookPermission(const QString &userId, const QString &ownerId,
                                                      const QString &notebookId)
{
    if (ownerId == userId)
        return Permission::Owner;
    if (!ensureShares(ShareKind::Notebook, notebookId))
        return storeFailure;
    return shareOf(ShareKind::Notebook, notebookId, userId).value_or(Permission::None);
}

StoreResult<QSet<QString>> PushBatch::noteReaders(const QString &ownerId, const QString &noteId, const QString &notebookId)
{
    if (!ensureShares(ShareKind::Note, noteId) || !ensureShares(ShareKind::Notebook, notebookId)
        || !ensureNotebook(notebookId))
        return storeFailure;
    QSet<QString> readers{ownerId};
    for (const ShareKind kind : {ShareKind::Note, ShareKind::Notebook}) {
        const auto users = m_shares.constFind({kind == ShareKind::Note ? noteId : notebookId, int(kind)});
        if (users != m_shares.cend())
            for (auto it = users->cbegin(); it != users->cend(); ++it)
                readers.insert(it.key());
    }
    if (const std::optional<NotebookRow> book = m_notebooks.value(notebookId))
        readers.insert(book->ownerId);
    return readers;
}

void PushBatch::write(const NoteRow &row, const NoteVersionRow &version)
{
    m_notes.insert(row.id, row);
    if (const auto at = m_insertAt.constFind(row.id); at != m_insertAt.cend()) {
        m_inserts[*at] = row;
    } else if (m_inDb.contains(row.id)) {
        if (!m_updates.contains(row.id))
            m_updateOrder.append(row.id);
        m_updates.insert(row.id, row);
    } else {
        m_insertAt.insert(row.id, m_inserts.size());
        m_inserts.append(row);
    }
    const std::pair<QString, qint64> key{row.id, row.version};
    if (!m_versions.contains(key))
        m_versionOrder.append(key);
    m_versions.insert(key, version);
}

bool PushBatch::flush()
{
    NoteStore notes(m_db);
    QList<NoteRow> updates;
    updates.reserve(m_updateOrder.size());
    for (const QString &id : std::as_const(m_updateOrder))
        updates.append(m_updates.value(id));
    QList<NoteStore::VersionEntry> versions;
    versions.reserve(m_versionOrder.size());
    QHash<QString, qint64> newest;
    for (const auto &key : std::as_const(m_versionOrder)) {
        versions.append({key.first, key.second, m_versions.value(key)});
        newest[key.first] = std::max(newest.value(key.first), key.second);
    }
    if (!notes.insertMany(m_inserts) || !notes.updateMany(updates) || !notes.recordVersions(versions))
        return false;
    for (auto it = newest.cbegin(); it != newest.cend(); ++it)
        if (!notes.trimVersions(it.key(), it.value()))
            return false;
    for (const NoteRow &n : std::as_const(m_inserts))
        m_inDb.insert(n.id);
    m_inserts.clear();
    m_insertAt.clear();
    m_updates.clear();
    m_updateOrder.clear();
    m_versions.clear();
    m_versionOrder.clear();
    return true;
}

void PushBatch::shareRemoved(ShareKind kind, const QString &itemId, const QString &userId)
{
    const auto users = m_shares.find({itemId, int(kind)});
    if (users != m_shares.end())
        users->remove(userId);
}

} // namespace VelmServer
