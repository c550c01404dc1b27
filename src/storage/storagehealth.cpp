#include "storagehealth.h"

#include "storagelog.h"

#include <QMutex>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <atomic>

namespace StorageHealth {

namespace {

QMutex s_mutex;
std::function<void(const QString &)> s_handler;
std::atomic<int> s_diskFullFailures{0};

constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteFull = 13;
constexpr int kSqliteNotADatabase = 26;

int primaryCode(const QSqlError &error)
{
    bool ok = false;
    // Extended codes keep the primary code in the low byte.
    const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
    return ok ? code : -1;
}

} // namespace

bool isCorruption(const QSqlError &error)
{
    const int code = primaryCode(error);
    return code == kSqliteCorrupt || code == kSqliteNotADatabase;
}

bool isDiskFull(const QSqlError &error)
{
    return primaryCode(error) == kSqliteFull;
}

void reportFailure(const QSqlError &error, const QString &sql)
{
    qCWarning(lcStorage).noquote() << "Statement failed:" << error.text() << "in" << sql.left(80);
    if (isDiskFull(error))
        ++s_diskFullFailures;
    if (!isCorruption(error))
        return;
    std::function<void(const QString &)> handler;
    {
        QMutexLocker lock(&s_mutex);
        handler = s_handler;
    }
    if (handler)
        handler(error.text());
}

int diskFullFailures()
{
    return s_diskFullFailures;
}

void setCorruptionHandler(std::function<void(const QString &error)> handler)
{
    QMutexLocker lock(&s_mutex);
    s_handler = std::move(handler);
}

QStringList quickCheck(const QString &path)
{
    const QString name = QStringLiteral("quick-check-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QStringList problems;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open()) {
            problems << db.lastError().text();
        } else {
            QSqlQuery query(db);
            if (!query.exec(QStringLiteral("PRAGMA quick_check")))
                problems << query.lastError().text();
            while (query.next()) {
                const QString line = query.value(0).toString();
                if (line != QLatin1String("ok"))
                    problems << line;
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!problems.isEmpty())
        qCCritical(lcStorage).noquote() << "Database damaged:" << path << problems.join("; ");
    return problems;
}

} // namespace StorageHealth
