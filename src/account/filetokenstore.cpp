#include "filetokenstore.h"

#include "accountlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace VelmAccount {

FileTokenStore::FileTokenStore(const QString &path)
    : m_path(path)
{
}

void FileTokenStore::read(const QString &key, ReadCallback done)
{
    answerLater([done, value = value(key)] {
        if (done)
            done(value);
    });
}

void FileTokenStore::write(const QString &key, const QString &value, WriteCallback done)
{
    answerLater([done, ok = setValue(key, value)] {
        if (done)
            done(ok);
    });
}

void FileTokenStore::remove(const QString &key, WriteCallback done)
{
    answerLater([done, ok = removeValue(key)] {
        if (done)
            done(ok);
    });
}

std::optional<QString> FileTokenStore::value(const QString &key) const
{
    const QJsonValue value = load().value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

bool FileTokenStore::setValue(const QString &key, const QString &value)
{
    QJsonObject values = load();
    values.insert(key, value);
    return save(values);
}

bool FileTokenStore::removeValue(const QString &key)
{
    QJsonObject values = load();
    if (!values.contains(key))
        return false;
    values.remove(key);
    return save(values);
}

QJsonObject FileTokenStore::load() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

bool FileTokenStore::save(const QJsonObject &values)
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    // The temporary file is made owner-only before any token is written to it.
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner)) {
        qCWarning(lcAccount).noquote() << "FileTokenStore: cannot write" << m_path << file.errorString();
        return false;
    }
    file.write(QJsonDocument(values).toJson(QJsonDocument::Compact));
    if (!file.commit()) {
        qCWarning(lcAccount).noquote() << "FileTokenStore: cannot write" << m_path << file.errorString();
        return false;
    }
    return true;
}

} // namespace VelmAccount
