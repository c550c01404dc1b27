#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>

// Owns one named SQLite connection, the data directory and the schema.
// Repositories hold a plain pointer to it and must not outlive it.
class Database final : public QObject
{
    Q_OBJECT
public:
    explicit Database(QObject *parent = nullptr);
    ~Database() override;

    // Stateless helpers, usable without a Database object. Each creates the
    // directory it names when missing.
    static QString dataDirectory();
    static QString installationId();
    static QString defaultDatabasePath();
    static QString attachmentsDirectory();

    bool open(const QString &path);
    bool migrate();

    QSqlDatabase database() const { return m_db; }
    QString connectionName() const { return m_connectionName; }

    static constexpr int currentVersion = 2;

signals:
    void migrationApplied(int version, const QString &name);
    void migrationError(int version, const QString &error);

private:
    bool runMigration1();
    bool migrateToV2();
    bool storeVersion(int version);

    QString m_connectionName;
    QSqlDatabase m_db;
};
