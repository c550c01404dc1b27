#pragma once

#include <QObject>
#include <QString>

#include <optional>

class Database;

// Key/value settings over the preferences table. Values are text; booleans are
// written "1"/"0", integers in decimal. Holds a non-owning pointer to the
// Database, which must outlive it. GUI thread only.
class PreferencesRepository final : public QObject
{
    Q_OBJECT
public:
    explicit PreferencesRepository(Database *database, QObject *parent = nullptr);

    // Absent when there is no row or the statement fails.
    std::optional<QString> get(const QString &key) const;
    QString getString(const QString &key, const QString &defaultValue = QString()) const;
    // True for exactly "1", "true" or "yes"; any other stored text is false.
    bool getBool(const QString &key, bool defaultValue = false) const;
    // The default also when the stored text is not a base-10 integer.
    int getInt(const QString &key, int defaultValue = 0) const;

    // Writing the value already stored does nothing and emits nothing.
    void set(const QString &key, const QString &value);
    void setBool(const QString &key, bool value);
    void setInt(const QString &key, int value);
    // Emits changed(key) on success, also when no row existed.
    void remove(const QString &key);

signals:
    void changed(const QString &key);

private:
    Database *m_database;
};
