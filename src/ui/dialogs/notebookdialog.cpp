#include "notebookdialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

NotebookDialog::NotebookDialog(const QString &title, const QString &initialName, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    setMinimumWidth(350);

    m_nameEdit = new QLineEdit(this);
    m_nameEdit->setPlaceholderText(tr("Notebook name"));
    m_nameEdit->setText(initialName);
    m_nameEdit->selectAll();

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto *layout = new QFormLayout(this);
    layout->addRow(tr("Name:"), m_nameEdit);
    layout->addRow(m_buttons);

    // The initial state follows the untrimmed name; every edit then follows the trimmed one.
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!initialName.isEmpty());
    connect(m_nameEdit, &QLineEdit::textChanged, this, &NotebookDialog::updateOkButton);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    m_nameEdit->setFocus();
}

QString NotebookDialog::name() const
{
    return m_nameEdit->text().trimmed();
}

void NotebookDialog::updateOkButton()
{
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!m_nameEdit->text().trimmed().isEmpty());
}

QString NotebookDialog::run(QWidget *parent, const QString &title, const QString &initialName)
{
    NotebookDialog dialog(title, initialName, parent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.name();
}

QString NotebookDialog::getNewName(QWidget *parent)
{
    return run(parent, tr("New Notebook"), QString());
}

QString NotebookDialog::getRename(QWidget *parent, const QString &currentName)
{
    return run(parent, tr("Rename Notebook"), currentName);
}
