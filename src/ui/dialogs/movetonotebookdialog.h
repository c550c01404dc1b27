#pragma once

#include "notebook.h"

#include <QDialog>
#include <QList>

#include <optional>

class QDialogButtonBox;
class QListWidget;
class QListWidgetItem;

// Lets the user pick the notebook a note moves to, or "No Notebook" first in
// the list to take it out of every notebook. The note's current place is
// listed but cannot be chosen. Callers use choose(); the
// constructor is public so the rules can be exercised without a modal loop.
class MoveToNotebookDialog final : public QDialog
{
    Q_OBJECT
public:
    MoveToNotebookDialog(const QList<Notebook> &notebooks, const QString &currentNotebookId,
                         QWidget *parent = nullptr);

    // The chosen notebook's id after OK ("" for no notebook); nothing on Cancel.
    static std::optional<QString> choose(QWidget *parent, const QList<Notebook> &notebooks,
                                         const QString &currentNotebookId);

    // The selected row's notebook id ("" for no notebook); nothing without a selection.
    std::optional<QString> chosenId() const;
    QListWidget *list() const { return m_list; }
    QDialogButtonBox *buttonBox() const { return m_buttons; }

private:
    void updateOkButton();
    void onItemDoubleClicked(QListWidgetItem *item);

    QListWidget *m_list = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
    QString m_currentNotebookId;
};
