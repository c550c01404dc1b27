#include "movetonotebookdialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

MoveToNotebookDialog::MoveToNotebookDialog(const QList<Notebook> &notebooks, const QString &currentNotebookId,
                                           QWidget *parent)
    : QDialog(parent)
    , m_currentNotebookId(currentNotebookId)
{
    setWindowTitle(tr("Move to Notebook"));
    setMinimumSize(300, 250);

    m_list = new QListWidget(this);
    m_list->setAccessibleName(tr("Notebooks"));
    Notebook none;
    none.name = tr("No Notebook");
    for (const Notebook &notebook : QList<Notebook>{none} + notebooks) {
        auto *item = new QListWidgetItem(m_list);
        item->setData(Qt::UserRole, notebook.id);
        if (notebook.id == currentNotebookId) {
            item->setText(tr("%1 (current)").arg(notebook.name));
            item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
        } else {
            item->setText(notebook.name);
        }
    }

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(false);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Select a notebook:"), this));
    layout->addWidget(m_list, 1);
    layout->addWidget(m_buttons);

    connect(m_list, &QListWidget::currentItemChanged, this, &MoveToNotebookDialog::updateOkButton);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &MoveToNotebookDialog::onItemDoubleClicked);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

std::optional<QString> MoveToNotebookDialog::chosenId() const
{
    const QListWidgetItem *item = m_list->currentItem();
    return item ? std::optional(item->data(Qt::UserRole).toString()) : std::nullopt;
}

void MoveToNotebookDialog::updateOkButton()
{
    const QListWidgetItem *item = m_list->currentItem();
    m_buttons->button(QDialogButtonBox::Ok)
        ->setEnabled(item && item->data(Qt::UserRole).toString() != m_currentNotebookId);
}

void MoveToNotebookDialog::onItemDoubleClicked(QListWidgetItem *item)
{
    if (item && item->data(Qt::UserRole).toString() != m_currentNotebookId)
        accept();
}

std::optional<QString> MoveToNotebookDialog::choose(QWidget *parent, const QList<Notebook> &notebooks,
                                                    const QString &currentNotebookId)
{
    MoveToNotebookDialog dialog(notebooks, currentNotebookId, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.chosenId();
}
