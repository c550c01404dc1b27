#include "inserttabledialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

InsertTableDialog::InsertTableDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Insert Table"));

    m_rows = new QSpinBox(this);
    m_rows->setRange(1, 100);
    m_rows->setValue(3);
    m_columns = new QSpinBox(this);
    m_columns->setRange(1, 20);
    m_columns->setValue(3);
    m_header = new QCheckBox(tr("Include header row"), this);
    m_header->setChecked(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QFormLayout(this);
    layout->addRow(tr("Rows:"), m_rows);
    layout->addRow(tr("Columns:"), m_columns);
    layout->addRow(m_header);
    layout->addRow(buttons);
}

int InsertTableDialog::rows() const
{
    return m_rows->value();
}

int InsertTableDialog::columns() const
{
    return m_columns->value();
}

bool InsertTableDialog::headerRow() const
{
    return m_header->isChecked();
}
