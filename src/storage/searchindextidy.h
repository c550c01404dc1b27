#pragma once

#include <QObject>
#include <QTimer>

class Database;

// Merging the search index's segments can rewrite most of the index in one
// statement, inside whichever write happened to trigger it: seconds of a
// frozen window in the middle of a large import or sync. While a bulk write
// holds them, merges are left to this tidy instead, which runs them a few
// pages at a time, one short transaction per event-loop turn (never while an
// import or restore holds its transaction open), and gives the index its
// usual merging back once it is tidy and no hold is left.
class SearchIndexTidy final : public QObject
{
    Q_OBJECT
public:
    // Inside the caller's transaction when one is open: automatic merges off,
    // and with deferCrisis, no forced merge either (for one long transaction,
    // whose row count stays far below the index's segment limit). The tidy of
    // database is started, or gains a hold.
    static SearchIndexTidy *hold(Database *database, bool deferCrisis);
    // Ends a hold; the tidy goes on merging until done.
    void release();
    // Starts a tidy when a hold was left by a process that ended first.
    static void resume(Database *database);

    bool isDone() const { return m_holds == 0 && m_tidy; }

private:
    explicit SearchIndexTidy(Database *database);
    static bool set(Database *database, const char *option, int value);
    void step();

    Database *m_database;
    QTimer m_timer;
    int m_holds = 0;
    bool m_tidy = false;
};
