#pragma once

#include "tokenstore.h"

#include <QJsonObject>

namespace VelmAccount {

// Tokens in one JSON file readable by the owner only, for machines where no
// Secret Service answers. Every write replaces the whole file atomically so a
// crash never leaves half a token behind.
class FileTokenStore final : public TokenStore
{
public:
    explicit FileTokenStore(const QString &path);

    std::optional<QString> read(const QString &key) override;
    bool write(const QString &key, const QString &value) override;
    bool remove(const QString &key) override;

    QString path() const { return m_path; }

private:
    QJsonObject load() const;
    bool save(const QJsonObject &values);

    QString m_path;
};

} // namespace VelmAccount
