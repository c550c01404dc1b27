#include "extractionlimits.h"

#include "importsupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QStorageInfo>

namespace {

// Shown by the import dialog, in its words.
class Texts
{
    Q_DECLARE_TR_FUNCTIONS(ImportDialog)
};

} // namespace

ExtractionBudget::ExtractionBudget(const ExtractionLimits &limits, const QStringList &directories,
                                   const QString &archivePath)
    : m_limits(limits)
    , m_remaining(limits.maxTotalBytes)
    , m_archiveBytes(QFileInfo(archivePath).size())
{
    for (const QString &directory : directories) {
        const QStorageInfo storage(directory);
        if (storage.isValid())
            m_remaining = qMin(m_remaining, qMax<qint64>(0, storage.bytesAvailable() - limits.freeSpaceMargin));
    }
}

bool ExtractionBudget::spend(qint64 bytes)
{
    if (!m_failure.isEmpty())
        return false;
    m_remaining -= bytes;
    m_spent += bytes;
    if (m_remaining < 0) {
        m_failure = QStringLiteral("the archive expands beyond the space allowed for it");
        return false;
    }
    if (m_spent > m_limits.ratioThreshold && m_spent / qMax<qint64>(1, m_archiveBytes) > m_limits.maxRatio) {
        m_failure = QStringLiteral("the archive expands more than %1 times").arg(m_limits.maxRatio);
        return false;
    }
    return true;
}

std::optional<QJsonObject> readJsonObjectFile(const QString &path, qint64 maxBytes, QString *problem, bool *redecoded)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = Texts::tr("cannot be read: %1").arg(file.errorString());
        return std::nullopt;
    }
    if (file.size() > maxBytes) {
        *problem = Texts::tr("larger than %1 MB").arg(maxBytes / ExtractionLimits::kMiB);
        return std::nullopt;
    }
    QJsonParseError error;
    QByteArray bytes = file.readAll();
    if (redecoded) {
        *redecoded = false;
        const QString text = ImportSupport::decodeText(bytes, redecoded);
        if (*redecoded)
            bytes = text.toUtf8();
    }
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (!document.isObject()) {
        *problem = error.error != QJsonParseError::NoError ? Texts::tr("not valid JSON: %1").arg(error.errorString())
                                                           : Texts::tr("not a JSON object");
        return std::nullopt;
    }
    return document.object();
}
