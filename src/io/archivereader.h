#pragma once

#include "ioprogress.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class ExtractionBudget;
class QFile;
class QIODevice;
struct archive;

struct ArchiveEntry
{
    QString path; // relative, '/'-separated, already checked by safeEntryPath
    qint64 size = 0;
};

// Reads ZIP or tar archives entry by entry. Archive content is untrusted:
// entries whose path is absolute, climbs out with "..", names a device or is
// not a regular file (links, devices, fifos) are never returned; they are
// skipped and counted in rejectedEntries().
class ArchiveReader final
{
public:
    enum class Format { Zip, Tar };

    ArchiveReader(const QString &archivePath, Format format);
    ~ArchiveReader();

    ArchiveReader(const ArchiveReader &) = delete;
    ArchiveReader &operator=(const ArchiveReader &) = delete;

    bool open();
    // Entries are then held to the budget's limits: one larger than its limit
    // or expanding past the ratio is refused (see refusal()); spending the
    // whole budget is a read error. Without a budget nothing is limited.
    void setBudget(ExtractionBudget *budget) { m_budget = budget; }
    // Moves to the next safe regular file. False at the end or on a read error (see hasError()).
    bool next(ArchiveEntry *entry);
    // The data of the current entry; absent on a read error or a refusal.
    // maxBytes below 0: the budget's limit for one entry.
    std::optional<QByteArray> readData(qint64 maxBytes = -1);
    // Streams the data of the current entry into out; false on a read error,
    // a refusal or a failed write.
    bool copyData(QIODevice *out, qint64 maxBytes = -1);
    // Why the last entry was refused; empty when it was not.
    QString refusal() const { return m_refusal; }

    // Writes every safe file below directory (created when missing) that
    // accept (when given) takes. Returns the number of files written, or -1
    // when the archive cannot be read; progress reports bytes of the archive
    // consumed, in KiB, at most every 50 ms. Refused and unwritable entries
    // count in rejectedEntries() and are named in problems().
    // maxEntryBytes below 0: the budget's limit for one entry.
    int extractTo(const QString &directory, const ProgressCallback &progress = {},
                  const std::function<bool(const QString &path)> &accept = {}, qint64 maxEntryBytes = -1);

    bool hasError() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    int rejectedEntries() const { return m_rejected; }
    // Each rejected entry with its reason.
    QStringList problems() const { return m_problems; }

    // The cleaned relative form of an archive path ('\' counts as a separator),
    // absent when the path is empty, absolute (also "C:..."), has a ".."
    // component, a control character, a ':' or a reserved device name.
    static std::optional<QString> safeEntryPath(const QString &raw);

private:
    bool fail(const QString &message);
    bool refuse(const QString &reason);
    void reject(const QString &path, const QString &reason);
    // Reads the next chunk of the current entry into chunk, held to the limits; -1 on error or refusal.
    qint64 readChunk(QByteArray &chunk, qint64 entryBytes, qint64 maxBytes);

    friend struct ArchiveReaderCallbacks;

    QString m_path;
    Format m_format;
    std::unique_ptr<QFile> m_file;
    QByteArray m_buffer;
    QByteArray m_chunk; // readData's, kept from one entry to the next
    qint64 m_entrySize = -1;
    struct archive *m_archive = nullptr;
    QString m_error;
    int m_rejected = 0;
    QStringList m_problems;
    ExtractionBudget *m_budget = nullptr;
    QString m_refusal;
    bool m_atEnd = false;
};
