#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QSaveFile;
struct archive;

// Writes a ZIP archive to a temporary file beside the target and replaces the
// target only in commit(), so a failed or abandoned write leaves any earlier
// file untouched. Entry paths are relative, '/'-separated and stored as UTF-8.
class ZipWriter final
{
public:
    explicit ZipWriter(const QString &targetPath);
    ~ZipWriter(); // discards the temporary file unless commit() succeeded

    ZipWriter(const ZipWriter &) = delete;
    ZipWriter &operator=(const ZipWriter &) = delete;

    bool open();
    bool addDirectory(const QString &entryPath);
    bool addFile(const QString &entryPath, const QByteArray &data);
    // Streams a file from disk, so large attachments are never held in memory.
    bool addFileFromDisk(const QString &entryPath, const QString &sourcePath);
    // Completes the archive and atomically moves it over the target.
    bool commit();

    QString targetPath() const { return m_targetPath; }
    QString errorString() const { return m_error; }

private:
    bool writeHeader(const QString &entryPath, qint64 size, bool directory);
    bool fail(const QString &message);
    QString archiveError() const;

    friend struct ZipWriterCallbacks;

    QString m_targetPath;
    QString m_error;
    std::unique_ptr<QSaveFile> m_file;
    struct archive *m_archive = nullptr;
    bool m_failed = false;
};
