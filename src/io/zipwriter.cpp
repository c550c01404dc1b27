#include "zipwriter.h"

#include "iolog.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>

#include <archive.h>
#include <archive_entry.h>

struct ZipWriterCallbacks
{
    static la_ssize_t write(struct archive *, void *clientData, const void *buffer, size_t length)
    {
        auto *self = static_cast<ZipWriter *>(clientData);
        const qint64 written = self->m_file->write(static_cast<const char *>(buffer), qint64(length));
        if (written != qint64(length))
            return -1;
        return la_ssize_t(written);
    }
};

ZipWriter::ZipWriter(const QString &targetPath)
    : m_targetPath(targetPath)
{
}

ZipWriter::~ZipWriter()
{
    if (m_archive) {
        archive_write_free(m_archive);
        m_archive = nullptr;
    }
    if (m_file)
        m_file->cancelWriting();
}

bool ZipWriter::open()
{
    m_file = std::make_unique<QSaveFile>(m_targetPath);
    // Writing straight into the target would defeat the point of the temporary file.
    m_file->setDirectWriteFallback(false);
    if (!m_file->open(QIODevice::WriteOnly))
        return fail(m_file->errorString());

    m_archive = archive_write_new();
    if (!m_archive)
        return fail(QStringLiteral("out of memory"));
    archive_write_set_format_zip(m_archive);
    archive_write_zip_set_compression_deflate(m_archive);
    // The fastest deflate: notes are text, which it packs nearly as small, in
    // a fraction of the time the default level takes on a large backup.
    if (archive_write_set_format_option(m_archive, "zip", "compression-level", "1") != ARCHIVE_OK)
        qCInfo(lcIo) << "ZipWriter: the default compression level is used";
    archive_write_set_options(m_archive, "hdrcharset=UTF-8");
    // No padding after the central directory.
    archive_write_set_bytes_in_last_block(m_archive, 1);
    if (archive_write_open(m_archive, this, nullptr, &ZipWriterCallbacks::write, nullptr) != ARCHIVE_OK)
        return fail(archiveError());
    return true;
}

bool ZipWriter::writeHeader(const QString &entryPath, qint64 size, bool directory)
{
    if (m_failed || !m_archive)
        return false;
    struct archive_entry *entry = archive_entry_new();
    QString name = entryPath;
    if (directory && !name.endsWith(QLatin1Char('/')))
        name += QLatin1Char('/');
    archive_entry_set_pathname_utf8(entry, name.toUtf8().constData());
    archive_entry_set_filetype(entry, directory ? AE_IFDIR : AE_IFREG);
    archive_entry_set_perm(entry, directory ? 0755 : 0644);
    archive_entry_set_size(entry, directory ? 0 : size);
    archive_entry_set_mtime(entry, time(nullptr), 0);
    const int rc = archive_write_header(m_archive, entry);
    archive_entry_free(entry);
    if (rc < ARCHIVE_WARN)
        return fail(archiveError());
    return true;
}

bool ZipWriter::addDirectory(const QString &entryPath)
{
    return writeHeader(entryPath, 0, true);
}

bool ZipWriter::addFile(const QString &entryPath, const QByteArray &data)
{
    if (!writeHeader(entryPath, data.size(), false))
        return false;
    if (!data.isEmpty() && archive_write_data(m_archive, data.constData(), size_t(data.size())) != data.size())
        return fail(archiveError());
    return true;
}

bool ZipWriter::addFileFromDisk(const QString &entryPath, const QString &sourcePath)
{
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("%1: %2").arg(sourcePath, source.errorString()));
    const qint64 declared = source.size();
    if (!writeHeader(entryPath, declared, false))
        return false;
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    qint64 total = 0;
    while (total < declared) {
        const qint64 n = source.read(buffer.data(), qMin<qint64>(buffer.size(), declared - total));
        if (n < 0)
            return fail(QStringLiteral("%1: %2").arg(sourcePath, source.errorString()));
        // A file that shrank while being read would leave a header that lies about its size.
        if (n == 0)
            return fail(QStringLiteral("%1: file changed while reading").arg(sourcePath));
        if (archive_write_data(m_archive, buffer.constData(), size_t(n)) != n)
            return fail(archiveError());
        total += n;
    }
    return true;
}

bool ZipWriter::commit()
{
    if (m_failed || !m_archive)
        return false;
    const int rc = archive_write_close(m_archive);
    const QString closeError = archiveError();
    archive_write_free(m_archive);
    m_archive = nullptr;
    if (rc != ARCHIVE_OK)
        return fail(closeError);
    if (!m_file->commit()) {
        const QString error = m_file->errorString();
        m_file.reset();
        return fail(error);
    }
    m_file.reset();
    return true;
}

bool ZipWriter::fail(const QString &message)
{
    if (!m_failed) {
        m_failed = true;
        m_error = message;
        // A write refused for want of space often comes back without a cause
        // ("Unknown error"); the disk tells it.
        const QStorageInfo disk(QFileInfo(m_targetPath).absolutePath());
        if (disk.isValid() && disk.bytesAvailable() < 1024 * 1024) {
            const QString full = QStringLiteral("no space left on %1").arg(disk.rootPath());
            m_error = message.isEmpty() || message == QLatin1String("Unknown error") ? full
                                                                                  : message + QStringLiteral(" (") + full + QLatin1Char(')');
        }
        qCWarning(lcIo) << "ZipWriter:" << m_targetPath << m_error;
    }
    return false;
}

QString ZipWriter::archiveError() const
{
    if (m_file && m_file->error() != QFileDevice::NoError)
        return m_file->errorString();
    const char *text = m_archive ? archive_error_string(m_archive) : nullptr;
    return text ? QString::fromUtf8(text) : QStringLiteral("archive write error");
}
