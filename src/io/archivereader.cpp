#include "archivereader.h"

#include "extractionlimits.h"
#include "iolog.h"
#include "safefilename.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <archive.h>
#include <archive_entry.h>

struct ArchiveReaderCallbacks
{
    static la_ssize_t read(struct archive *, void *clientData, const void **buffer)
    {
        auto *self = static_cast<ArchiveReader *>(clientData);
        const qint64 n = self->m_file->read(self->m_buffer.data(), self->m_buffer.size());
        *buffer = self->m_buffer.constData();
        return n < 0 ? -1 : la_ssize_t(n);
    }

    static la_int64_t skip(struct archive *, void *clientData, la_int64_t request)
    {
        auto *self = static_cast<ArchiveReader *>(clientData);
        const qint64 pos = self->m_file->pos();
        const qint64 target = qMin(pos + request, self->m_file->size());
        if (!self->m_file->seek(target))
            return 0;
        return target - pos;
    }

    static la_int64_t seek(struct archive *, void *clientData, la_int64_t offset, int whence)
    {
        auto *self = static_cast<ArchiveReader *>(clientData);
        qint64 target = offset;
        if (whence == SEEK_CUR)
            target = self->m_file->pos() + offset;
        else if (whence == SEEK_END)
            target = self->m_file->size() + offset;
        if (target < 0 || !self->m_file->seek(target))
            return ARCHIVE_FATAL;
        return target;
    }
};

ArchiveReader::ArchiveReader(const QString &archivePath, Format format)
    : m_path(archivePath)
    , m_format(format)
{
}

ArchiveReader::~ArchiveReader()
{
    if (m_archive)
        archive_read_free(m_archive);
}

bool ArchiveReader::open()
{
    m_file = std::make_unique<QFile>(m_path);
    if (!m_file->open(QIODevice::ReadOnly))
        return fail(m_file->errorString());
    m_buffer.resize(64 * 1024);
    m_archive = archive_read_new();
    if (!m_archive)
        return fail(QStringLiteral("out of memory"));
    if (m_format == Format::Zip)
        archive_read_support_format_zip(m_archive);
    else
        archive_read_support_format_tar(m_archive);
    archive_read_set_read_callback(m_archive, &ArchiveReaderCallbacks::read);
    archive_read_set_skip_callback(m_archive, &ArchiveReaderCallbacks::skip);
    archive_read_set_seek_callback(m_archive, &ArchiveReaderCallbacks::seek);
    archive_read_set_callback_data(m_archive, this);
    if (archive_read_open1(m_archive) != ARCHIVE_OK)
        return fail(QString::fromUtf8(archive_error_string(m_archive)));
    return true;
}

bool ArchiveReader::next(ArchiveEntry *entry)
{
    if (!m_archive || m_atEnd || hasError())
        return false;
    for (;;) {
        struct archive_entry *header = nullptr;
        const int rc = archive_read_next_header(m_archive, &header);
        if (rc == ARCHIVE_EOF) {
            m_atEnd = true;
            return false;
        }
        if (rc < ARCHIVE_WARN) {
            const char *text = archive_error_string(m_archive);
            return fail(text ? QString::fromUtf8(text) : QStringLiteral("damaged archive"));
        }
        const char *utf8 = archive_entry_pathname_utf8(header);
        const char *raw = utf8 ? utf8 : archive_entry_pathname(header);
        const QString name = raw ? QString::fromUtf8(raw) : QString();
        const mode_t type = archive_entry_filetype(header);
        if (type == AE_IFDIR) {
            // Folders are created on demand by extractTo; an unsafe one is still worth counting.
            if (!safeEntryPath(name))
                reject(name, QStringLiteral("unsafe name"));
            continue;
        }
        const std::optional<QString> path = safeEntryPath(name);
        if (type != AE_IFREG || !path) {
            reject(name, path ? QStringLiteral("not a regular file") : QStringLiteral("unsafe name"));
            continue;
        }
        m_refusal.clear();
        entry->path = *path;
        entry->size = archive_entry_size_is_set(header) ? archive_entry_size(header) : -1;
        m_entrySize = entry->size;
        return true;
    }
}

qint64 ArchiveReader::readChunk(QByteArray &chunk, qint64 entryBytes, qint64 maxBytes)
{
    const la_ssize_t n = archive_read_data(m_archive, chunk.data(), size_t(chunk.size()));
    if (n < 0) {
        fail(QString::fromUtf8(archive_error_string(m_archive)));
        return -1;
    }
    if (!m_budget || n == 0)
        return n;
    const ExtractionLimits &limits = m_budget->limits();
    const qint64 written = entryBytes + n;
    if (written > (maxBytes >= 0 ? maxBytes : limits.maxEntryBytes)) {
        refuse(QStringLiteral("larger than %1 MB").arg((maxBytes >= 0 ? maxBytes : limits.maxEntryBytes) / ExtractionLimits::kMiB));
        return -1;
    }
    // Sparse or highly compressed entries (a few KiB of archive that would
    // unpack to gigabytes, or many entries that each stay small) are caught
    // by the whole archive's budget and ratio.
    if (!m_budget->spend(n)) {
        fail(m_budget->failure());
        return -1;
    }
    return n;
}

std::optional<QByteArray> ArchiveReader::readData(qint64 maxBytes)
{
    if (!m_archive)
        return std::nullopt;
    // m_buffer belongs to the read callback; libarchive may still point into
    // it. A chunk and a buffer allocated afresh for each small entry, then
    // grown, cost more than inflating it: the chunk is kept, and the data
    // sized once by the header (trusted only up to the entry's limit).
    if (m_chunk.isEmpty())
        m_chunk.resize(64 * 1024);
    QByteArray data;
    const qint64 limit = maxBytes >= 0 ? maxBytes : m_budget ? m_budget->limits().maxEntryBytes : 0;
    if (m_entrySize > 0)
        data.reserve(qsizetype(qMin(m_entrySize, limit)));
    for (;;) {
        const qint64 n = readChunk(m_chunk, data.size(), maxBytes);
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return data;
        data.append(m_chunk.constData(), qsizetype(n));
    }
}

bool ArchiveReader::copyData(QIODevice *out, qint64 maxBytes)
{
    if (!m_archive)
        return false;
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    for (qint64 total = 0;;) {
        const qint64 n = readChunk(chunk, total, maxBytes);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (out->write(chunk.constData(), n) != n)
            return false;
        total += n;
    }
}

int ArchiveReader::extractTo(const QString &directory, const ProgressCallback &progress,
                             const std::function<bool(const QString &path)> &accept, qint64 maxEntryBytes)
{
    if (!m_archive && !open())
        return -1;
    const QString root = QDir::cleanPath(QFileInfo(directory).absoluteFilePath());
    if (!QDir().mkpath(root))
        return -1;
    const int totalKiB = int(qMin<qint64>(m_file->size() / 1024, INT_MAX));
    int written = 0;
    QElapsedTimer sinceReport;
    sinceReport.start();
    ArchiveEntry entry;
    while (next(&entry)) {
        if (accept && !accept(entry.path))
            continue;
        const QString target = QDir::cleanPath(root + QLatin1Char('/') + entry.path);
        // safeEntryPath already refuses climbing; this guards the join itself.
        if (!target.startsWith(root + QLatin1Char('/'))) {
            reject(entry.path, QStringLiteral("unsafe name"));
            continue;
        }
        // Plain files: a save file would sync each of thousands of small entries to disk.
        QFile out(target);
        if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !out.open(QIODevice::WriteOnly)) {
            reject(entry.path, out.errorString());
            continue;
        }
        const bool copied = copyData(&out, maxEntryBytes);
        out.close();
        if (!copied || out.error() != QFileDevice::NoError) {
            out.remove();
            if (hasError())
                return -1;
            reject(entry.path, m_refusal.isEmpty() ? out.errorString() : m_refusal);
            continue;
        }
        ++written;
        // Often enough to move a bar, rarely enough not to slow thousands of small entries.
        if (progress && (written == 1 || sinceReport.elapsed() >= 50)) {
            sinceReport.restart();
            progress(int(qMin<qint64>(archive_filter_bytes(m_archive, -1) / 1024, totalKiB)), totalKiB, entry.path);
        }
    }
    return hasError() ? -1 : written;
}

std::optional<QString> ArchiveReader::safeEntryPath(const QString &raw)
{
    QString path = raw;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')))
        return std::nullopt;
    // Drive letters ("C:", "C:foo") are absolute or drive-relative on Windows.
    if (path.size() >= 2 && path.at(1) == QLatin1Char(':'))
        return std::nullopt;
    QStringList parts;
    for (const QString &part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (!isSafeFileName(part))
            return std::nullopt;
        parts.append(part);
    }
    if (parts.isEmpty())
        return std::nullopt;
    return parts.join(QLatin1Char('/'));
}

bool ArchiveReader::refuse(const QString &reason)
{
    m_refusal = reason;
    return false;
}

void ArchiveReader::reject(const QString &path, const QString &reason)
{
    ++m_rejected;
    m_problems.append(QStringLiteral("%1: %2").arg(path, reason));
    qCWarning(lcIo) << "Skipping archive entry:" << path << reason;
}

bool ArchiveReader::fail(const QString &message)
{
    if (m_error.isEmpty())
        m_error = message.isEmpty() ? QStringLiteral("archive read error") : message;
    qCWarning(lcIo) << "ArchiveReader:" << m_path << m_error;
    return false;
}
