#pragma once

#include "ioprogress.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

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
    // Moves to the next safe regular file. False at the end or on a read error (see hasError()).
    bool next(ArchiveEntry *entry);
    // The data of the current entry; absent on a read error.
    std::optional<QByteArray> readData();
    // Streams the data of the current entry into out.
    bool copyData(QIODevice *out);

    // Writes every safe file below directory (created when missing). Returns
    // the number of files written, or -1 when the archive cannot be read;
    // progress reports bytes of the archive consumed, in KiB, at most every 50 ms.
    int extractTo(const QString &directory, const ProgressCallback &progress = {});

    bool hasError() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    int rejectedEntries() const { return m_rejected; }

    // The cleaned relative form of an archive path ('\' counts as a separator),
    // absent when the path is empty, absolute (also "C:..."), has a ".."
    // component, a control character, a ':' or a reserved device name.
    static std::optional<QString> safeEntryPath(const QString &raw);
    // A single path component that is safe to create inside a folder.
    static bool isSafeFileName(const QString &name);

private:
    bool fail(const QString &message);

    friend struct ArchiveReaderCallbacks;

    QString m_path;
    Format m_format;
    std::unique_ptr<QFile> m_file;
    QByteArray m_buffer;
    struct archive *m_archive = nullptr;
    QString m_error;
    int m_rejected = 0;
    bool m_atEnd = false;
};
