#pragma once

#include "notelistmodel.h"

#include <QListView>

// The list of notes: shows the rows of its model in the model's order, one
// card per note (NoteListDelegate), and lets notes be dragged onto notebooks.
class NoteListWidget final : public QListView
{
    Q_OBJECT
public:
    using Role = NoteListModel::Role;
    static constexpr Role IdRole = NoteListModel::IdRole;
    static constexpr Role TitleRole = NoteListModel::TitleRole;
    static constexpr Role PreviewRole = NoteListModel::PreviewRole;
    static constexpr Role UpdatedAtRole = NoteListModel::UpdatedAtRole;
    static constexpr Role NotebookNameRole = NoteListModel::NotebookNameRole;
    static constexpr Role UntitledRole = NoteListModel::UntitledRole;
    static constexpr Role SharedRole = NoteListModel::SharedRole;
    static constexpr Role SyncStatusRole = NoteListModel::SyncStatusRole;
    static constexpr Role SnippetRole = NoteListModel::SnippetRole;
    static constexpr Role RefusedRole = NoteListModel::RefusedRole;

    explicit NoteListWidget(QWidget *parent = nullptr);

    NoteListModel *noteModel() const { return m_model; }
    // Replaces the rows, keeping the current note current. Emits nothing.
    void setRows(const QList<NoteRow> &rows, NoteListModel::Order order = NoteListModel::Order::NewestUpdateFirst,
                 NoteListModel::RowFilter filter = {}, NoteListModel::PageReader pages = {});
    // Makes the row of id current (emitting noteSelected), reading pages up to
    // it when needed; nothing when absent.
    void selectNote(const QString &id);
    QString selectedNoteId() const;
    void setNotebookNameResolver(NoteListModel::NotebookNameResolver resolver);

    int count() const { return m_model->rowCount(); }
    int currentRow() const { return currentIndex().row(); }
    void setCurrentRow(int row);
    // Shown in the middle of the list while it has no rows.
    void setEmptyText(const QString &text);
    QString emptyText() const { return m_emptyText; }
    QString idAt(int row) const;

signals:
    void noteSelected(const QString &noteId);
    void noteDoubleClicked(const QString &noteId);
    void noteActivated(const QString &noteId);
    void noteDeleteRequested(const QString &noteId);
    void noteContextMenuRequested(const QString &noteId, const QPoint &globalPos);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    NoteListModel *m_model = nullptr;
    QString m_emptyText;
};
