#pragma once

#include "noterow.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>

#include <functional>
#include <optional>

// MIME type of a dragged note; the payload is the note id in UTF-8.
inline constexpr char kNoteIdMimeType[] = "application/x-velmora-note-id";

// Title, preview and untitled flag of a row as drawn. A row without a first
// line is untitled: its preview moves up as the title ("Untitled" when there
// is none either) and the preview line stays empty.
struct NoteRowText
{
    QString title;
    QString preview;
    bool untitled = false;
};
NoteRowText noteRowText(const QString &title, const QString &preview);

// The rows of a note list over light rows (no bodies), paged in as the view
// scrolls. A list in date order takes single-note writes row by row; a ranked
// list (search) is read again instead.
class NoteListModel final : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role {
        IdRole = Qt::UserRole,
        TitleRole,
        PreviewRole,
        UpdatedAtRole,
        NotebookNameRole,
        UntitledRole,
        SharedRole,
        SyncStatusRole,
        SnippetRole,
        RefusedRole, // why the server refused the note for good; empty when it did not
    };
    enum class Order { NewestUpdateFirst, OldestUpdateFirst, NewestDeletionFirst, Ranked };
    using NotebookNameResolver = std::function<QString(const QString &notebookId)>;
    using RowFilter = std::function<bool(const NoteRow &row)>;
    // Up to limit rows that follow the rows loaded so far.
    using PageReader = std::function<QList<NoteRow>(const QList<NoteRow> &loaded, int limit)>;

    explicit NoteListModel(QObject *parent = nullptr);

    // Replaces every row (a reset). filter says which rows belong, for writes
    // that come later; pages reads the rows after the first page.
    void setRows(const QList<NoteRow> &rows, Order order, RowFilter filter = {}, PageReader pages = {});
    // Brings the row of one written note up to date: changed in place, moved,
    // inserted or removed. row is the note as stored now (absent: purged).
    // False when the list cannot place it (a ranked list): reload instead.
    bool applyWrite(const QString &id, const std::optional<NoteRow> &row);

    void setNotebookNameResolver(NotebookNameResolver resolver);
    // Notes the server refused for good, with the reason each row shows.
    void setRefusedNotes(const QHash<QString, QString> &reasons);
    // How to read the row of one note, so that a note below the pages read
    // so far can be brought in (ensureLoaded).
    void setRowReader(std::function<std::optional<NoteRow>(const QString &id)> reader);
    // Reads pages until the row of id is in, when it belongs to this list.
    void ensureLoaded(const QString &id);
    int rowOf(const QString &id) const;
    const NoteRow &rowAt(int row) const { return m_rows.at(row); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    static constexpr int kPageSize = 100;

private:
    int placeFor(const NoteRow &row, int skip) const;

    QList<NoteRow> m_rows;
    Order m_order = Order::NewestUpdateFirst;
    RowFilter m_filter;
    PageReader m_pages;
    bool m_morePages = false;
    NotebookNameResolver m_resolver;
    QHash<QString, QString> m_refused;
    std::function<std::optional<NoteRow>(const QString &id)> m_rowReader;
};
