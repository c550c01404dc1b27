#pragma once

#include "tokenstore.h"

#include <QJsonObject>

namespace VelmAccount {

// Tokens in one JSON file readable by the owner only, for machines where no
// keyring answers. Every write replaces the whole file atomically so a crash
// never leaves half a token behind. The file is small and local: the work is
// done at once and only the answer waits for the event loop.
class FileTokenStore final : public TokenStore
{
public:
    explicit FileTokenStore(const QString &path);

    void read(const QString &key, ReadCallback done) override;
    void write(const QString &key, const QString &value, WriteCallback done) override;
    void remove(const QString &key, WriteCallback done) override;

    // The same, answered at once.
    std::optional<QString> value(const QString &key) const;
    bool setValue(const QString &key, const QString &value);
    bool removeValue(const QString &key);

    QString path() const { return m_path; }

private:
    QJsonObject load() const;
    bool save(const QJsonObject &values);

    QString m_path;
};

} // namespace VelmAccount
