#include "tokens.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>

#include <sodium.h>

namespace VelmServer {

namespace {
constexpr auto b64 = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
}

bool Tokens::loadKey(const QString &keyFile, QString *error)
{
    if (sodium_init() < 0) {
        *error = QStringLiteral("libsodium failed to initialise");
        return false;
    }
    QFile file(keyFile);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1: %2").arg(keyFile, file.errorString());
            return false;
        }
        m_key = QByteArray::fromHex(file.readAll().trimmed());
        if (m_key.size() < 32) {
            *error = QStringLiteral("%1 holds no usable key").arg(keyFile);
            return false;
        }
        return true;
    }
    m_key.resize(64);
    randombytes_buf(m_key.data(), size_t(m_key.size()));
    // Created owner-only before the key is written, so it is never readable by others.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)
        || !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner)
        || file.write(m_key.toHex() + '\n') < 0 || !file.flush()) {
        *error = QStringLiteral("cannot create %1: %2").arg(keyFile, file.errorString());
        return false;
    }
    return true;
}

QByteArray Tokens::sign(const QByteArray &data) const
{
    return QMessageAuthenticationCode::hash(data, m_key, QCryptographicHash::Sha256);
}

QString Tokens::issueAccess(const QString &userId, const QString &sessionId, const QString &groupId,
                            const QString &role) const
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QJsonObject vlm{{"group_id", groupId}, {"role", role}};
    const QJsonObject payload{{"sub", userId},  {"sid", sessionId}, {"iat", now},
                              {"exp", now + accessLifetimeSeconds}, {"custom", QJsonObject{{"vlm", vlm}}}};
    const QByteArray head = QByteArray(R"({"alg":"HS256","typ":"JWT"})").toBase64(b64);
    const QByteArray body = QJsonDocument(payload).toJson(QJsonDocument::Compact).toBase64(b64);
    const QByteArray signingInput = head + '.' + body;
    return QString::fromLatin1(signingInput + '.' + sign(signingInput).toBase64(b64));
}

std::optional<AccessClaims> Tokens::verifyAccess(const QByteArray &token) const
{
    const QList<QByteArray> parts = token.split('.');
    if (parts.size() != 3)
        return std::nullopt;
    const QByteArray expected = sign(parts[0] + '.' + parts[1]);
    const QByteArray given = QByteArray::fromBase64(parts[2], QByteArray::Base64UrlEncoding);
    if (given.size() != expected.size() || sodium_memcmp(given.constData(), expected.constData(), size_t(given.size())) != 0)
        return std::nullopt;
    const QJsonObject payload = QJsonDocument::fromJson(QByteArray::fromBase64(parts[1], QByteArray::Base64UrlEncoding)).object();
    if (payload.value("exp").toInteger() <= QDateTime::currentSecsSinceEpoch())
        return std::nullopt;
    AccessClaims claims{payload.value("sub").toString(), payload.value("sid").toString()};
    if (claims.userId.isEmpty() || claims.sessionId.isEmpty())
        return std::nullopt;
    return claims;
}

QByteArray Tokens::randomSecret()
{
    QByteArray raw(32, Qt::Uninitialized);
    randombytes_buf(raw.data(), size_t(raw.size()));
    return raw.toBase64(b64);
}

QByteArray Tokens::successorSecret(const QString &sessionId, const QByteArray &secret) const
{
    return sign("refresh:" + sessionId.toLatin1() + '.' + secret).toBase64(b64);
}

QString Tokens::hashSecret(const QByteArray &secret)
{
    return QString::fromLatin1(QCryptographicHash::hash(secret, QCryptographicHash::Sha256).toHex());
}

QString Tokens::hashPassword(const QString &password)
{
    const QByteArray pw = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, pw.constData(), quint64(pw.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
        return {};
    return QString::fromLatin1(out);
}

bool Tokens::verifyPassword(const QString &hash, const QString &password)
{
    const QByteArray h = hash.toLatin1();
    const QByteArray pw = password.toUtf8();
    return !h.isEmpty() && crypto_pwhash_str_verify(h.constData(), pw.constData(), quint64(pw.size())) == 0;
}

} // namespace VelmServer
