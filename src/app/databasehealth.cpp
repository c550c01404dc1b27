#include "databasehealth.h"

#include "appstate.h"
#include "database.h"
#include "preferencesrepository.h"
#include "storagehealth.h"

#include <QCoreApplication>
#include <QDate>
#include <QPointer>
#include <QThread>
#include <QTimer>

namespace {

const QString kLastCheck = QStringLiteral("last_quick_check");
// Well after start-up, so the check never competes with the first screen.
constexpr int kCheckDelayMs = 10000;

} // namespace

QString damagedDatabaseText(const QString &path, const QString &error)
{
    return QCoreApplication::translate("DatabaseHealth",
                                       "The notes database is damaged:\n\n%1\n\n%2\n\nIt has not been changed. "
                                       "Velmora Notes will now close; keep a copy of the file before repairing it.")
        .arg(path, error);
}

void watchDatabaseHealth(AppState *state, const QString &path, QObject *context, HealthMessage critical,
                         HealthMessage warning)
{
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

    PreferencesRepository *preferences = state->preferences();
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    if (preferences->getString(kLastCheck) == today)
        return;
    QTimer::singleShot(kCheckDelayMs, context, [preferences, path, context, warning, today] {
        preferences->set(kLastCheck, today);
        QPointer<QObject> shown(context);
        QThread *thread = QThread::create([path, shown, warning] {
            const QStringList problems = StorageHealth::quickCheck(path);
            if (problems.isEmpty())
                return;
            QMetaObject::invokeMethod(QCoreApplication::instance(), [shown, path, problems, warning] {
                if (!shown)
                    return;
                warning(QCoreApplication::translate("DatabaseHealth", "Database Damaged"),
                        QCoreApplication::translate("DatabaseHealth",
                                                    "A check of the notes database found damage:\n\n%1\n\n%2\n\n"
                                                    "Keep a copy of the file and export your notes.")
                            .arg(path, problems.mid(0, 5).join('\n')));
            }, Qt::QueuedConnection);
        });
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->setParent(QCoreApplication::instance());
        // A check still running at quit is waited for, not destroyed under way.
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, thread,
                         [thread] { thread->wait(); });
        thread->start(QThread::LowPriority);
    });
}
