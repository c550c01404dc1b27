#include "databasehealth.h"

#include "appstate.h"
#include "database.h"
#include "preferencesrepository.h"
#include "storagehealth.h"

#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <QPointer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>
#include <QUuid>

namespace {

const QString kLastCheck = QStringLiteral("last_quick_check");
// Well after start-up, so the sweep never competes with the first screen.
constexpr int kSweepDelayMs = 15000;

} // namespace

QString damagedDatabaseText(const QString &path, const QString &error)
{
    return QCoreApplication::translate("DatabaseHealth",
                                       "The notes database is damaged:\n\n%1\n\n%2\n\nIt has not been changed. "
                                       "Velmora Notes will now close; keep a copy of the file before repairing it.")
        .arg(path, error);
}

QStringList checkBeforeFirstWrite(const QString &path, bool *ran)
{
    *ran = false;
    if (!QFileInfo(path).isFile() || QFileInfo(path).size() == 0)
        return {};
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const QString name = QStringLiteral("last-check-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString last;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare(QStringLiteral("SELECT value FROM preferences WHERE key = ?"));
            query.addBindValue(kLastCheck);
            if (query.exec() && query.next())
                last = query.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (last == today)
        return {};
    *ran = true;
    return StorageHealth::quickCheck(path);
}

void watchDatabaseHealth(AppState *state, const QString &path, HealthMessage critical, bool checked)
{
    // Open read-only on purpose: reads that meet the damage are expected, and
    // the banner already offers the ways out.
    if (state->isReadOnly())
        return;
    QPointer<AppState> guarded(state);
    StorageHealth::setCorruptionHandler([guarded, path, critical](const QString &error) {
        // Closed first: nothing more is written into the damaged file.
        QMetaObject::invokeMethod(QCoreApplication::instance(), [guarded, path, error, critical] {
            static bool stopping = false;
            if (stopping)
                return;
            stopping = true;
            if (guarded && guarded->database())
                guarded->database()->database().close();
            critical(QCoreApplication::translate("DatabaseHealth", "Database Error"),
                     damagedDatabaseText(path, error));
            QCoreApplication::exit(1);
        }, Qt::QueuedConnection);
    });
    if (checked && !state->isReadOnly())
        state->preferences()->set(kLastCheck, QDate::currentDate().toString(Qt::ISODate));
}

void sweepOrphanAttachments(const QString &databasePath, QObject *context)
{
    // Files younger than this may belong to a write of another process under way.
    constexpr qint64 kMinAgeSeconds = 10 * 60;
    QTimer::singleShot(kSweepDelayMs, context, [databasePath] {
        const QString folder = Database::attachmentsDirectory();
        QThread *thread = QThread::create([databasePath, folder] {
            StorageHealth::removeOrphanAttachmentFiles(databasePath, folder, kMinAgeSeconds);
        });
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->setParent(QCoreApplication::instance());
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, thread,
                         [thread] { thread->wait(); });
        thread->start(QThread::LowPriority);
    });
}
