#pragma once

#include "note.h"
#include "noterow.h"

#include <QList>
#include <QString>
#include <QVariantList>

class Database;

// Full-text search over live notes through the notes' FTS5 index. Reads
// only; holds a non-owning pointer to the Database, which must outlive it.
// GUI thread only.
class NoteSearch final
{
public:
    explicit NoteSearch(Database *database);

    // Whole notes, best match first; the last word matches as a prefix.
    // White space alone returns every live note in list order.
    QList<Note> notes(const QString &text) const;
    // Rows of the matches of text with a snippet each; limit < 0 reads to the
    // end. The first kScreen rows are the best by rank among the kCandidates
    // most recently written matches (all of them when there are no more), so
    // a common word answers without ranking every match; the rows after them
    // are every other match by rank, ranked once per text and state of the
    // database.
    QList<NoteRow> rows(const QString &text, int limit = -1, int offset = 0) const;
    int count(const QString &text) const;

    static constexpr int kScreen = 100;
    static constexpr int kCandidates = 2000;
    // Other bounds than the two above, for tests that cannot write thousands of notes.
    void setBounds(int screen, int candidates)
    {
        m_screen = screen;
        m_candidates = candidates;
    }

private:
    template<typename Read>
    bool match(const QString &text, const QString &sql, const QVariantList &tail, Read read) const;
    QList<qint64> rowids(const QString &text, int from, int count) const;
    QList<NoteRow> rowsOf(const QString &text, const QList<qint64> &rowids) const;

    // Every match of the last text searched past its first screen, by rank,
    // and the database state it was ranked in.
    struct Ranked
    {
        QString text;
        QString stamp;
        QList<qint64> rowids;
    };
    mutable Ranked m_ranked;
    int m_screen = kScreen;
    int m_candidates = kCandidates;

    Database *m_database;
};
