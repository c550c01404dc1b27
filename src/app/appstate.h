#pragma once

#include <QObject>
#include <QPointer>

class Database;

// The one application-wide object every window receives. Owns the database
// and the services built over it (as QObject children); windows hold
// non-owning pointers to it.
class AppState final : public QObject
{
    Q_OBJECT
public:
    explicit AppState(QObject *parent = nullptr);
    ~AppState() override;

    // Opens and migrates the database and builds the services over it.
    // False when the database cannot be opened or migrated.
    bool initialize();

    Database *database() const { return m_database; }

signals:
    void databaseReady();

private:
    Database *m_database = nullptr;
};
