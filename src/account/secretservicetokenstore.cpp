// GLib names a struct member "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include "secretservicetokenstore.h"

#include "accountlog.h"

namespace VelmAccount {

namespace {

SecretSchema schemaFor(const QByteArray &name)
{
    SecretSchema schema{};
    schema.name = name.constData();
    schema.flags = SECRET_SCHEMA_NONE;
    schema.attributes[0] = {"key", SECRET_SCHEMA_ATTRIBUTE_STRING};
    schema.attributes[1] = {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING};
    return schema;
}

// Logs and frees a GError; the message never holds the secret itself.
void logError(const char *what, GError *error)
{
    if (!error)
        return;
    qCWarning(lcAccount).noquote() << "SecretServiceTokenStore:" << what << "failed:" << QString::fromUtf8(error->message);
    g_error_free(error);
}

} // namespace

SecretServiceTokenStore::SecretServiceTokenStore(const QString &appId)
    : m_schemaName(appId.toUtf8())
{
}

bool SecretServiceTokenStore::isAvailable()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return false;
    GError *error = nullptr;
    SecretService *service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
    if (!service) {
        logError("connect", error);
        return false;
    }
    g_object_unref(service);
    return true;
}

std::optional<QString> SecretServiceTokenStore::read(const QString &key)
{
    const SecretSchema schema = schemaFor(m_schemaName);
    GError *error = nullptr;
    gchar *secret = secret_password_lookup_sync(&schema, nullptr, &error, "key", key.toUtf8().constData(), nullptr);
    logError("read", error);
    if (!secret)
        return std::nullopt;
    const QString value = QString::fromUtf8(secret);
    secret_password_free(secret);
    return value;
}

bool SecretServiceTokenStore::write(const QString &key, const QString &value)
{
    const SecretSchema schema = schemaFor(m_schemaName);
    const QByteArray label = m_schemaName + '/' + key.toUtf8();
    GError *error = nullptr;
    const gboolean ok = secret_password_store_sync(&schema, SECRET_COLLECTION_DEFAULT, label.constData(),
                                                   value.toUtf8().constData(), nullptr, &error,
                                                   "key", key.toUtf8().constData(), nullptr);
    logError("write", error);
    return ok;
}

bool SecretServiceTokenStore::remove(const QString &key)
{
    const SecretSchema schema = schemaFor(m_schemaName);
    GError *error = nullptr;
    const gboolean ok = secret_password_clear_sync(&schema, nullptr, &error, "key", key.toUtf8().constData(), nullptr);
    logError("remove", error);
    return ok;
}

} // namespace VelmAccount
