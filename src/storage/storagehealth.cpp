#include "storagehealth.h"

#include "storagelog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
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

int removeOrphanAttachmentFiles(const QString &databasePath, const QString &attachmentsDir, qint64 minAgeSeconds)
{
    const QString name = QStringLiteral("orphan-sweep-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSet<QString> named;
    bool read = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databasePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            read = query.exec(QStringLiteral("SELECT id FROM attachments"));
            while (read && query.next())
                named.insert(query.value(0).toString());
            if (!read || query.lastError().isValid())
                qCWarning(lcStorage).noquote() << "Orphan sweep: cannot read attachments:" << query.lastError().text();
            read = read && !query.lastError().isValid();
        } else {
            qCWarning(lcStorage).noquote() << "Orphan sweep: cannot open" << databasePath << db.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!read)
        return -1;
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-minAgeSeconds);
    int removed = 0;
    const QDir dir(attachmentsDir);
    for (const QFileInfo &file : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System)) {
        if (named.contains(file.fileName()) || file.lastModified().toUTC() > before)
            continue;
        if (QFile::remove(file.absoluteFilePath()))
            ++removed;
        else
            qCWarning(lcStorage).noquote() << "Orphan sweep: cannot remove" << file.absoluteFilePath();
    }
    if (removed > 0)
        qCInfo(lcStorage).noquote() << "Removed" << removed << "attachment files that no attachment names";
    return removed;
}

} // namespace StorageHealth
