#include "extractionlimits.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QStorageInfo>

ExtractionBudget::ExtractionBudget(const ExtractionLimits &limits, const QString &directory)
    : m_limits(limits)
    , m_remaining(limits.maxTotalBytes)
{
    const QStorageInfo storage(directory);
    if (storage.isValid())
        m_remaining = qMin(m_remaining, qMax<qint64>(0, storage.bytesAvailable() - limits.freeSpaceMargin));
}

bool ExtractionBudget::spend(qint64 bytes)
{
    m_remaining -= bytes;
    return m_remaining >= 0;
}

std::optional<QJsonObject> readJsonObjectFile(const QString &path, qint64 maxBytes, QString *problem)
{
    const auto tr = [](const char *text) { return QCoreApplication::translate("ImportDialog", text); };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = tr("cannot be read: %1").arg(file.errorString());
        return std::nullopt;
    }
    if (file.size() > maxBytes) {
        *problem = tr("larger than %1 MB").arg(maxBytes / ExtractionLimits::kMiB);
        return std::nullopt;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (!document.isObject()) {
        *problem = error.error != QJsonParseError::NoError ? tr("not valid JSON: %1").arg(error.errorString())
                                                           : tr("not a JSON object");
        return std::nullopt;
    }
    return document.object();
}
