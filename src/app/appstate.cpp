#include "appstate.h"

#include "applog.h"
#include "database.h"

AppState::AppState(QObject *parent)
    : QObject(parent)
{
}

AppState::~AppState() = default;

bool AppState::initialize()
{
    m_database = new Database(this);
    const QString path = Database::defaultDatabasePath();
    qCInfo(lcApp).noquote() << "Opening database at:" << path;
    if (!m_database->open(path) || !m_database->migrate())
        return false;

    emit databaseReady();
    return true;
}
