#pragma once

// Limits on what an imported or restored archive may unpack. Archives are
// untrusted: a small file can expand to gigabytes (compressed zeros, sparse
// entries) and must neither fill the disk nor the memory.

#include <QJsonObject>
#include <QString>

#include <optional>

struct ExtractionLimits
{
    static constexpr qint64 kMiB = 1024 * 1024;

    qint64 maxTotalBytes = 16 * 1024 * kMiB; // ceiling whatever the free space
    qint64 freeSpaceMargin = 512 * kMiB;     // left free on the target's disk
    qint64 maxEntryBytes = 200 * kMiB;       // one attachment or file
    qint64 maxJsonBytes = 64 * kMiB;         // one note, notebook or item, read whole
    qint64 ratioThreshold = 32 * kMiB;       // entries below this may compress as well as they like
    qint64 maxRatio = 200;                   // expanded bytes per archive byte above the threshold
};

// The bytes one import or restore may still write, shared by every reader it opens.
class ExtractionBudget final
{
public:
    // The total is the smaller of the ceiling and directory's free space less the margin.
    ExtractionBudget(const ExtractionLimits &limits, const QString &directory);

    const ExtractionLimits &limits() const { return m_limits; }
    qint64 remaining() const { return m_remaining; }
    // False once the total is spent.
    bool spend(qint64 bytes);

private:
    ExtractionLimits m_limits;
    qint64 m_remaining = 0;
};

// A JSON object from a file no larger than maxBytes, checked before reading.
// Absent with *problem set when the file is missing, too large or not an object.
std::optional<QJsonObject> readJsonObjectFile(const QString &path, qint64 maxBytes, QString *problem);
