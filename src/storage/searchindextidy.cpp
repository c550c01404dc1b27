#include "searchindextidy.h"

#include "database.h"
#include "relaxedsync.h"
#include "storagelog.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>

namespace {

// The index's own defaults.
constexpr int kAutomerge = 4;
constexpr int kCrisisMerge = 16;
// Below the index's limit of 2000 segments per index.
constexpr int kDeferredCrisisMerge = 1999;
constexpr int kPagesPerMerge = 32;
constexpr int kStepMs = 5;
constexpr int kIdleMs = 100;

qint64 totalChanges(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("SELECT total_changes()")) && query.next() ? query.value(0).toLongLong() : -1;
}

} // namespace

SearchIndexTidy::SearchIndexTidy(Database *database)
    : QObject(database)
    , m_database(database)
{
    connect(&m_timer, &QTimer::timeout, this, &SearchIndexTidy::step);
    m_timer.start(0);
}

bool SearchIndexTidy::set(Database *database, const char *option, int value)
{
    QSqlQuery query(database->database());
    query.prepare(QStringLiteral("INSERT INTO notes_fts(notes_fts, rank) VALUES (?, ?)"));
    query.addBindValue(QString::fromLatin1(option));
    query.addBindValue(value);
    if (query.exec())
        return true;
    qCWarning(lcStorage).noquote() << "Search index setting" << option << "not changed:" << query.lastError().text();
    return false;
}

SearchIndexTidy *SearchIndexTidy::hold(Database *database, bool deferCrisis)
{
    auto *tidy = database->findChild<SearchIndexTidy *>(QString(), Qt::FindDirectChildrenOnly);
    if (!tidy)
        tidy = new SearchIndexTidy(database);
    ++tidy->m_holds;
    tidy->m_tidy = false;
    set(database, "automerge", 0);
    if (deferCrisis)
        set(database, "crisismerge", kDeferredCrisisMerge);
    return tidy;
}

void SearchIndexTidy::release()
{
    if (m_holds > 0)
        --m_holds;
    m_tidy = false;
    m_timer.start(0);
}

void SearchIndexTidy::resume(Database *database)
{
    if (database->isReadOnly() || database->findChild<SearchIndexTidy *>(QString(), Qt::FindDirectChildrenOnly))
        return;
    QSqlQuery query(database->database());
    if (!query.exec(QStringLiteral("SELECT v FROM notes_fts_config WHERE k='automerge'")) || !query.next()
        || query.value(0).toInt() != 0)
        return;
    new SearchIndexTidy(database);
}

void SearchIndexTidy::step()
{
    // Inside an open import the merge would join its transaction.
    if (m_database->bulkJobRunning()) {
        m_timer.start(kIdleMs);
        return;
    }
    const QSqlDatabase db = m_database->database();
    QElapsedTimer clock;
    clock.start();
    bool merged = false;
    {
        // The index can always be merged again: no sync of the log per step.
        const RelaxedSync relaxed(db);
        while (clock.elapsed() < kStepMs) {
            const qint64 before = totalChanges(db);
            QSqlQuery query(db);
            query.prepare(QStringLiteral("INSERT INTO notes_fts(notes_fts, rank) VALUES ('merge', ?)"));
            query.addBindValue(kPagesPerMerge);
            if (!query.exec()) {
                qCWarning(lcStorage).noquote() << "Search index merge failed:" << query.lastError().text();
                break;
            }
            // Fewer than two changes: nothing was left to merge.
            if (totalChanges(db) - before < 2)
                break;
            merged = true;
        }
    }
    if (merged) {
        m_timer.start(0);
        return;
    }
    m_tidy = true;
    if (m_holds > 0) {
        m_timer.start(kIdleMs);
        return;
    }
    m_timer.stop();
    if (set(m_database, "crisismerge", kCrisisMerge) && set(m_database, "automerge", kAutomerge))
        qCInfo(lcStorage) << "Search index tidy";
    deleteLater();
}
