#include "linkdialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>

LinkDialog::LinkDialog(const QString &title, const QString &text, const QString &url, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(title);

    m_text = new QLineEdit(text, this);
    m_url = new QLineEdit(url, this);
    m_url->setMinimumWidth(360);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QFormLayout(this);
    layout->addRow(tr("Text:"), m_text);
    layout->addRow(tr("URL:"), m_url);
    layout->addRow(buttons);

    if (!text.isEmpty()) {
        m_url->setFocus();
        m_url->selectAll();
    } else {
        m_text->setFocus();
    }
}

QString LinkDialog::text() const
{
    return m_text->text();
}

QString LinkDialog::url() const
{
    return m_url->text().trimmed();
}
