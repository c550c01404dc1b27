#pragma once

// Limits on what an imported or restored archive may unpack. Archives are
// untrusted: a small file can expand to gigabytes (compressed zeros, sparse
// entries) and must neither fill the disk nor the memory.

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

struct ExtractionLimits
{
    static constexpr qint64 kMiB = 1024 * 1024;

    qint64 maxTotalBytes = 16 * 1024 * kMiB; // ceiling whatever the free space
    qint64 freeSpaceMargin = 512 * kMiB;     // left free on the target's disk
    qint64 maxEntryBytes = 200 * kMiB;       // one attachment or file
    qint64 maxJsonBytes = 64 * kMiB;         // one note, notebook or item, read whole
    qint64 ratioThreshold = 64 * kMiB;       // an archive expanding to less may compress as well as it likes
    // Expanded bytes of the whole archive per byte of it, above the threshold.
    // Deflate, which the application's own backups use, cannot pass ~1030, so
    // whatever it wrote reads back; sparse tar entries and other methods can.
    qint64 maxRatio = 1100;
};

// The bytes one import or restore may still write or hold, shared by every
// reader and copy it makes: unpacked files, copies into the attachment store
// and items read into memory are all charged.
class ExtractionBudget final
{
public:
    // The total is the smaller of the ceiling and, for each directory, its
    // filesystem's free space less the margin (the temporary folder and the
    // data folder may lie on different disks). archivePath sizes the ratio.
    ExtractionBudget(const ExtractionLimits &limits, const QStringList &directories, const QString &archivePath);

    const ExtractionLimits &limits() const { return m_limits; }
    qint64 remaining() const { return m_remaining; }
    qint64 spent() const { return m_spent; }
    // False once the total is spent or the whole archive expands past the ratio;
    // failure() then says which.
    bool spend(qint64 bytes);
    QString failure() const { return m_failure; }

private:
    ExtractionLimits m_limits;
    qint64 m_remaining = 0;
    qint64 m_spent = 0;
    qint64 m_archiveBytes = 0;
    QString m_failure;
};

// A JSON object from a file no larger than maxBytes, checked before reading.
// Absent with *problem set when the file is missing, too large or not an object.
// With redecoded given, text that is not UTF-8 is read as Windows-1252 and
// *redecoded is set; without it such text is refused.
std::optional<QJsonObject> readJsonObjectFile(const QString &path, qint64 maxBytes, QString *problem,
                                              bool *redecoded = nullptr);
