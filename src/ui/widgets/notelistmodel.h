#pragma once

#include "noterow.h"

#include <QAbstractListModel>
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

// The rows of a note list over light rows (no bodies). A list in date order
// takes single-note writes row by row; a ranked list (search) pages its rows
// in as the view scrolls.
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
    };
    enum class Order { NewestUpdateFirst, OldestUpdateFirst, NewestDeletionFirst, Ranked };
    using NotebookNameResolver = std::function<QString(const QString &notebookId)>;
    using RowFilter = std::function<bool(const NoteRow &row)>;
    using PageReader = std::function<QList<NoteRow>(int offset, int limit)>;

    explicit NoteListModel(QObject *parent = nullptr);

    // Replaces every row (a reset). filter says which rows belong, for writes
    // that come later; pages reads further rows of a ranked list.
    void setRows(const QList<NoteRow> &rows, Order order, RowFilter filter = {}, PageReader pages = {});
    // Brings the row of one written note up to date: changed in place, moved,
    // inserted or removed. row is the note as stored now (absent: purged).
    // False when the list cannot place it (a ranked list): reload instead.
    bool applyWrite(const QString &id, const std::optional<NoteRow> &row);

    void setNotebookNameResolver(NotebookNameResolver resolver);
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
};
