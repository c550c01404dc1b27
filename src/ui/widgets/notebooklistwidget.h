#pragma once

#include "notebook.h"

#include <QHash>
#include <QListWidget>

#include <optional>

// The sidebar: "All Notes", one row per notebook with its note count,
// "Trash" and "New Notebook…". Notes dragged from the note list can be
// dropped on a notebook, or on All Notes to take them out of their notebook.
class NotebookListWidget final : public QListWidget
{
    Q_OBJECT
public:
    enum Role {
        KindRole = Qt::UserRole,
        NotebookIdRole,
        NameRole,
        CountRole,
        IsDefaultRole,
        IsSharedRole,
    };
    enum Kind { AllNotesKind = 0, NotebookKind = 1, TrashKind = 2, NewNotebookKind = 3 };

    explicit NotebookListWidget(QWidget *parent = nullptr);

    // Fills the rows without emitting anything. counts maps notebook ids to
    // note counts, its empty key holding the total; deleted notebooks are left
    // out. The row of currentNotebookId becomes selected, else All Notes. When
    // the same rows are there already only names and counts change, so a
    // refresh after a sync neither moves nor announces the keyboard's row;
    // while the list has the focus that row also stays where it was.
    void setNotebooks(const QList<Notebook> &notebooks, const QHash<QString, int> &counts,
                      const QString &currentNotebookId, int trashCount);

    // Does what a click on the row does.
    void activateRow(int row);

    // The row the selection shows (what the note list holds).
    int shownRow() const;

    // Typing a name moves the keyboard's row there, like the arrow keys.
    void keyboardSearch(const QString &search) override;

    // The notebook id a note dropped on a row of kind/id is filed under (empty:
    // no notebook), or nothing when that row takes no drops.
    static std::optional<QString> dropTarget(int kind, const QString &notebookId);

    // Wide enough for All Notes, Trash and New Notebook… with their counts at
    // the current text size; a long notebook name may still be cut.
    QSize minimumSizeHint() const override;

signals:
    void allNotesSelected();
    void notebookSelected(const QString &notebookId);
    void trashSelected();
    void newNotebookRequested();
    void notebookContextMenuRequested(const QString &notebookId, const QPoint &globalPos);
    void noteDroppedOnNotebook(const QString &noteId, const QString &targetNotebookId);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // The arrow keys move the keyboard's row only; the selection stays with
    // what the note list shows until Return or Space activates a row.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // The row the cursor follows during a drag is only feedback: afterwards
    // the row that was current before the drag is current again.
    void restoreRowBeforeDrag();

    int m_rowBeforeDrag = -1;
    QListWidgetItem *addRow(int kind, const QString &name, const QVariant &count);
};
