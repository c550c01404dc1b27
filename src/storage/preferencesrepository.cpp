#include "preferencesrepository.h"

#include "database.h"
#include "sqlhelpers.h"

#include <QSqlQuery>

PreferencesRepository::PreferencesRepository(Database *database, QObject *parent)
    : QObject(parent)
    , m_database(database)
{
    Q_ASSERT(m_database);
}

std::optional<QString> PreferencesRepository::get(const QString &key) const
{
    QSqlQuery q(m_database->database());
    if (!q.prepare(QStringLiteral("SELECT value FROM preferences WHERE key = ?")))
        return std::nullopt;
    q.addBindValue(key);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return q.value(0).toString();
}

QString PreferencesRepository::getString(const QString &key, const QString &defaultValue) const
{
    return get(key).value_or(defaultValue);
}

bool PreferencesRepository::getBool(const QString &key, bool defaultValue) const
{
    const std::optional<QString> value = get(key);
    if (!value)
        return defaultValue;
    return *value == QLatin1String("1") || *value == QLatin1String("true") || *value == QLatin1String("yes");
}

int PreferencesRepository::getInt(const QString &key, int defaultValue) const
{
    const std::optional<QString> value = get(key);
    if (!value)
        return defaultValue;
    bool ok = false;
    const int number = value->toInt(&ok, 10);
    return ok ? number : defaultValue;
}

void PreferencesRepository::set(const QString &key, const QString &value)
{
    const std::optional<QString> current = get(key);
    if (current && *current == value)
        return;
    QSqlQuery q(m_database->database());
    if (SqlHelpers::exec(q, QStringLiteral("INSERT INTO preferences (key, value) VALUES (?, ?) "
                                           "ON CONFLICT(key) DO UPDATE SET value = excluded.value"),
                         {key, value}))
        emit changed(key);
}

void PreferencesRepository::setBool(const QString &key, bool value)
{
    set(key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void PreferencesRepository::setInt(const QString &key, int value)
{
    set(key, QString::number(value));
}

void PreferencesRepository::remove(const QString &key)
{
    QSqlQuery q(m_database->database());
    if (SqlHelpers::exec(q, QStringLiteral("DELETE FROM preferences WHERE key = ?"), {key}))
        emit changed(key);
}
