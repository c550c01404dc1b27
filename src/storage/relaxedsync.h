#pragma once

#include <QSqlDatabase>

// For writes of data the server can send again (a sync slice): their commits
// skip the sync of the write-ahead log. They still survive a crash of the
// application; a power cut may lose the last of them, and since each slice
// commits its rows with the cursor they came under, the database goes back
// to an earlier consistent point and those rows are pulled again. A push's
// results relax too (the server took the push: a lost mark is caught up with
// by the next cycle), and a purge without files: losing it only puts notes
// back in the trash.
// Everything else (the user's own edits) keeps a sync per commit: the
// previous level is set back when the scope ends, however it ends.
class RelaxedSync final
{
public:
    explicit RelaxedSync(const QSqlDatabase &database);
    ~RelaxedSync();

    RelaxedSync(const RelaxedSync &) = delete;
    RelaxedSync &operator=(const RelaxedSync &) = delete;

private:
    QSqlDatabase m_database;
    QString m_previous;
};
