#pragma once

#include "db.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace VelmServer {

// One attachment as stored, with the note it belongs to.
struct AttachmentRow
{
    QString id, ownerId, noteId, filename, mimeType, sha256;
    qint64 sizeBytes = 0, createdAt = 0;
    // Contents in attachment_chunks rather than a file in the data folder.
    bool inDatabase = false;
    // Filled by the queries that join the note.
    QString noteOwnerId, notebookId;
    // The reader's feed stamp, in listings.
    qint64 stamp = 0;
};

// The attachments tables: metadata, the per-reader feed and contents kept in
// the database as fixed-size chunks. Every call reports storage failures
// (already logged) apart from "not there".
class AttachmentStore
{
public:
    template <class T>
    struct [[nodiscard]] Result
    {
        bool ok = false;
        T value{};
    };
    struct Page
    {
        QList<AttachmentRow> rows;
        bool hasMore = false;
    };
    struct NoteRef
    {
        QString ownerId, notebookId;
    };
    // Contents are cut into pieces of this size: large enough to keep a 100 MB
    // file to a hundred rows, small enough to hold one piece in memory.
    static constexpr qint64 chunkBytes = 1024 * 1024;

    explicit AttachmentStore(Db &db) : m_db(db) {}

    // The reader's feed after the stamp since, in stamp order, at most limit rows.
    Result<Page> listSince(const QString &userId, qint64 since, int limit);
    Result<std::optional<AttachmentRow>> find(const QString &id);
    Result<std::optional<NoteRef>> note(const QString &noteId);
    // Replaces any earlier row of the id; contents are written separately.
    [[nodiscard]] bool replace(const AttachmentRow &row);

    [[nodiscard]] bool writeChunk(const QString &id, int seq, const QByteArray &data);
    Result<QByteArray> chunk(const QString &id, int seq);
    [[nodiscard]] bool removeChunks(const QString &id);

    // Drop the rows of a note's attachments, or of an account's (its own and
    // those on its notes, with its feed); ids receives the ids, whose contents
    // go once the transaction has committed.
    [[nodiscard]] bool dropForNote(const QString &noteId, QStringList *ids);
    [[nodiscard]] bool dropForAccount(const QString &userId, QStringList *ids);

private:
    Db &m_db;
};

} // namespace VelmServer
