#pragma once

#include <QSqlDatabase>

// A page cache as large as a bulk write for as long as it runs. With the
// small default, a transaction that dirties more pages than fit spills them
// to the write-ahead log before it commits, writes some of them twice and
// finds every later read of a spilled page in the log. The previous size is
// set back when the scope ends, however it ends.
class LargeCache final
{
public:
    explicit LargeCache(const QSqlDatabase &database, int mebibytes = 256);
    ~LargeCache();

    LargeCache(const LargeCache &) = delete;
    LargeCache &operator=(const LargeCache &) = delete;

private:
    QSqlDatabase m_database;
    QString m_previous;
};
