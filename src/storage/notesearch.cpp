#include "notesearch.h"

#include "database.h"
#include "notesql.h"
#include "sqlhelpers.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>

#include <algorithm>

using namespace SqlHelpers;

namespace {

// Each word becomes an FTS5 string, the last one a prefix: don't c++ -> "don't" "c++"*
QString quotedExpression(const QString &text)
{
    static const QRegularExpression whiteSpace(QStringLiteral("\\s+"));
    const QStringList words = text.split(whiteSpace, Qt::SkipEmptyParts);
    QStringList quoted;
    quoted.reserve(words.size());
    for (QString word : words)
        quoted << QLatin1Char('"') + word.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
    return quoted.join(QLatin1Char(' ')) + QLatin1Char('*');
}

// A match of a live note. A note row holds its body before deleted_at, so
// reading it per match is slow; the few trashed rowids come from
// idx_notes_deleted_at instead.
const QString kLiveMatch = QStringLiteral(
    "notes_fts MATCH ? AND rowid NOT IN (SELECT rowid FROM notes WHERE deleted_at IS NOT NULL)");

} // namespace

NoteSearch::NoteSearch(Database *database)
    : m_database(database)
{
    Q_ASSERT(m_database);
}

// Runs sql with the expression first as typed, so the FTS5 query syntax
// applies; FTS5 reports a syntax error only when stepping, hence the fall-back
// on a failed execution rather than a failed prepare. Everyday punctuation
// (don't, c++, e-mail, a lone quote) is such an error and is searched again as
// quoted words. The expression binds to the first placeholder.
template<typename Read>
bool NoteSearch::match(const QString &text, const QString &sql, const QVariantList &tail, Read read) const
{
    for (const QString &expression : {text + QLatin1Char('*'), quotedExpression(text)}) {
        QSqlQuery q(m_database->database());
        q.setForwardOnly(true);
        if (exec(q, sql, QVariantList{expression} + tail)) {
            read(q);
            return true;
        }
    }
    return false;
}

QList<Note> NoteSearch::notes(const QString &text) const
{
    if (text.trimmed().isEmpty())
        return NoteSql::readNotes(m_database->database(), NoteSql::allColumns(NoteSql::kLive));
    QList<Note> notes;
    match(text,
          QStringLiteral("SELECT n.* FROM notes n JOIN notes_fts f ON n.rowid = f.rowid "
                         "WHERE notes_fts MATCH ? AND n.deleted_at IS NULL ORDER BY rank"),
          {}, [&notes](QSqlQuery &q) { NoteSql::appendNotes(q, &notes); });
    return notes;
}

QList<NoteRow> NoteSearch::rows(const QString &text, int limit, int offset) const
{
    if (text.trimmed().isEmpty())
        return NoteSql::readRows(m_database->database(), NoteSql::kLive);
    if (limit == 0 || offset < 0)
        return {};
    return rowsOf(text, rowids(text, offset, limit));
}

// The rowids of matches [from, from + count) (count < 0: to the end) of the
// order rows() documents.
QList<qint64> NoteSearch::rowids(const QString &text, int from, int count) const
{
    const auto readIds = [](QList<qint64> *ids) {
        return [ids](QSqlQuery &q) {
            while (q.next())
                ids->append(q.value(0).toLongLong());
        };
    };
    // bm25 is worked out only for the candidates FTS5 reads newest first.
    QList<qint64> first;
    match(text,
          QStringLiteral("SELECT rowid FROM (SELECT rowid, bm25(notes_fts) AS score FROM notes_fts WHERE %1 "
                         "ORDER BY rowid DESC LIMIT %2) ORDER BY score, rowid LIMIT %3")
              .arg(kLiveMatch)
              .arg(m_candidates)
              .arg(m_screen),
          {}, readIds(&first));
    const auto slice = [from, count](const QList<qint64> &ids) {
        return from >= ids.size() ? QList<qint64>() : ids.mid(from, count < 0 ? -1 : count);
    };
    if (count >= 0 && from + count <= first.size())
        return slice(first);
    if (first.size() < m_screen)
        return slice(first); // every match is on the first screen

    // The rest by rank, kept while nothing is written: total_changes() counts
    // this connection's writes, data_version another's.
    QSqlQuery q(m_database->database());
    QString stamp;
    if (q.exec(QStringLiteral("SELECT total_changes()")) && q.next())
        stamp = q.value(0).toString();
    if (q.exec(QStringLiteral("PRAGMA data_version")) && q.next())
        stamp += QLatin1Char('/') + q.value(0).toString();
    if (m_ranked.text != text || m_ranked.stamp != stamp || stamp.isEmpty()) {
        m_ranked = Ranked{text, stamp, {}};
        match(text,
              QStringLiteral("SELECT rowid FROM notes_fts WHERE %1 ORDER BY bm25(notes_fts), rowid").arg(kLiveMatch),
              {}, readIds(&m_ranked.rowids));
    }
    const QSet<qint64> shown(first.cbegin(), first.cend());
    QList<qint64> all = first;
    all.reserve(m_ranked.rowids.size());
    for (const qint64 rowid : std::as_const(m_ranked.rowids)) {
        if (!shown.contains(rowid))
            all.append(rowid);
    }
    return slice(all);
}

QList<NoteRow> NoteSearch::rowsOf(const QString &text, const QList<qint64> &rowids) const
{
    if (rowids.isEmpty())
        return {};
    // Snippets for these rows alone. The unary + keeps the IN list from
    // becoming one lookup per row, each of which rebuilds a prefix term's
    // matches; the rowid range lets FTS5 skip the rest of them.
    QStringList ids;
    ids.reserve(rowids.size());
    for (const qint64 rowid : rowids)
        ids << QString::number(rowid);
    const auto [low, high] = std::minmax_element(rowids.cbegin(), rowids.cend());
    QHash<qint64, NoteRow> byRowid;
    match(text,
          QStringLiteral("SELECT %1, snippet(notes_fts, 0, char(2), char(3), '…', 12), f.rowid FROM notes_fts f "
                         "JOIN notes n ON n.rowid = f.rowid WHERE notes_fts MATCH ? AND f.rowid BETWEEN ? AND ? "
                         "AND +f.rowid IN (SELECT value FROM json_each(?))")
              .arg(NoteSql::kRowColumns),
          {*low, *high, QStringLiteral("[%1]").arg(ids.join(QLatin1Char(',')))}, [&byRowid](QSqlQuery &q) {
              while (q.next()) {
                  NoteRow row = NoteSql::rowFrom(q);
                  row.snippet = q.value(8).toString();
                  byRowid.insert(q.value(9).toLongLong(), row);
              }
          });
    QList<NoteRow> rows;
    rows.reserve(rowids.size());
    for (const qint64 rowid : rowids) {
        const auto found = byRowid.constFind(rowid);
        if (found != byRowid.cend())
            rows.append(*found);
    }
    return rows;
}

int NoteSearch::count(const QString &text) const
{
    if (text.trimmed().isEmpty())
        return NoteSql::liveCount(m_database->database());
    int count = 0;
    match(text, QStringLiteral("SELECT COUNT(*) FROM notes_fts WHERE %1").arg(kLiveMatch), {},
          [&count](QSqlQuery &q) { count = q.next() ? q.value(0).toInt() : 0; });
    return count;
}
