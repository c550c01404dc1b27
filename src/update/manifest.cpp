#include "manifest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QSysInfo>

namespace VelmUpdate {

namespace {

constexpr int supportedSchema = 1;

// Records only the first message: later ones are consequences.
void note(QString *error, const QString &message)
{
    if (error && error->isEmpty())
        *error = message;
}

std::optional<Artifact> readArtifact(const QString &key, const QJsonObject &object, QString *error)
{
    const auto text = [&](const char *field) -> std::optional<QString> {
        const QJsonValue value = object.value(QLatin1String(field));
        if (!value.isString()) {
            note(error, QStringLiteral("missing or non-string field: %1").arg(QLatin1String(field)));
            return std::nullopt;
        }
        return value.toString();
    };
    const auto failed = [&]() -> std::optional<Artifact> {
        note(error, QStringLiteral("artifact %1 failed validation").arg(key));
        return std::nullopt;
    };

    const auto version = text("version");
    const auto releasedAt = text("released_at");
    const auto url = text("url");
    const auto sha256 = text("sha256");
    if (!version || !releasedAt || !url || !sha256)
        return std::nullopt;

    Artifact artifact;
    artifact.version = *version;
    artifact.releasedAt = QDateTime::fromString(*releasedAt, Qt::ISODateWithMs);
    artifact.url = QUrl(*url, QUrl::StrictMode);
    artifact.sha256 = *sha256;
    const QJsonValue size = object.value(QLatin1String("size"));
    // 0 (refused below) for sizes that are not a whole number a 64-bit integer holds.
    artifact.size = size.toInteger(0);
    if (artifact.version.isEmpty() || !artifact.releasedAt.isValid() || url->isEmpty() || !artifact.url.isValid()
        || artifact.size < 1 || artifact.sha256.size() != 64)
        return failed();

    artifact.mandatory = object.value(QLatin1String("mandatory")).toBool(false);
    artifact.minUpgradableFrom = object.value(QLatin1String("min_upgradable_from")).toString();
    const QString notes = object.value(QLatin1String("release_notes_url")).toString();
    if (!notes.isEmpty())
        artifact.releaseNotesUrl = QUrl(notes);
    return artifact;
}

} // namespace

std::optional<Manifest> parseManifest(const QByteArray &json, QString *error)
{
    if (error)
        error->clear();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        note(error, QStringLiteral("JSON parse error: %1").arg(parseError.errorString()));
        return std::nullopt;
    }
    if (!document.isObject()) {
        note(error, QStringLiteral("manifest root is not a JSON object"));
        return std::nullopt;
    }
    const QJsonObject root = document.object();
    const QJsonValue schema = root.value(QLatin1String("schema"));
    if (!schema.isDouble()) {
        note(error, QStringLiteral("missing or non-integer field: schema"));
        return std::nullopt;
    }
    if (schema.toDouble() != supportedSchema) {
        note(error, QStringLiteral("unsupported manifest schema: %1 (expected %2)")
                        .arg(QString::number(schema.toDouble()), QString::number(supportedSchema)));
        return std::nullopt;
    }
    Manifest manifest;
    manifest.schema = supportedSchema;
    for (const char *field : {"app", "channel"}) {
        if (!root.value(QLatin1String(field)).isString()) {
            note(error, QStringLiteral("missing or non-string field: %1").arg(QLatin1String(field)));
            return std::nullopt;
        }
    }
    manifest.app = root.value(QLatin1String("app")).toString();
    manifest.channel = root.value(QLatin1String("channel")).toString();
    const QJsonValue artifacts = root.value(QLatin1String("artifacts"));
    if (!artifacts.isObject()) {
        note(error, QStringLiteral("missing or non-object field: artifacts"));
        return std::nullopt;
    }

    const QJsonObject entries = artifacts.toObject();
    for (auto it = entries.begin(); it != entries.end(); ++it) { // keys come sorted
        if (!it.value().isObject()) {
            note(error, QStringLiteral("artifact %1 is not an object").arg(it.key()));
            break;
        }
        const std::optional<Artifact> artifact = readArtifact(it.key(), it.value().toObject(), error);
        if (!artifact)
            break;
        manifest.artifacts.insert(it.key(), *artifact);
    }

    if (manifest.app.isEmpty() || manifest.channel.isEmpty() || manifest.artifacts.isEmpty()) {
        note(error, QStringLiteral("manifest failed validation"));
        return std::nullopt;
    }
    if (error)
        error->clear();
    return manifest;
}

QVersionNumber parseVersion(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (text.isEmpty() || parts.size() > 3)
        return QVersionNumber(0, 0, 0);
    QList<int> numbers{0, 0, 0};
    for (int i = 0; i < parts.size(); ++i) {
        bool ok = false;
        numbers[i] = parts.at(i).toInt(&ok, 10);
        if (!ok)
            return QVersionNumber(0, 0, 0);
    }
    return QVersionNumber(numbers);
}

QString platformKey(const QString &kernelType, const QString &cpuArchitecture)
{
    QString os;
    if (kernelType == QLatin1String("winnt"))
        os = QStringLiteral("windows");
    else if (kernelType == QLatin1String("linux"))
        os = QStringLiteral("linux");
    else if (kernelType == QLatin1String("darwin"))
        os = QStringLiteral("macos");
    QString arch;
    if (cpuArchitecture == QLatin1String("x86_64"))
        arch = QStringLiteral("x64");
    else if (cpuArchitecture == QLatin1String("arm64"))
        arch = QStringLiteral("arm64");
    if (os.isEmpty() || arch.isEmpty())
        return {};
    return os + QLatin1Char('-') + arch;
}

QString currentPlatformKey()
{
    return platformKey(QSysInfo::kernelType(), QSysInfo::currentCpuArchitecture());
}

} // namespace VelmUpdate
