#include "exportdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

ExportDialog::ExportDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Export Note"));
    setMinimumWidth(300);

    auto *layout = new QVBoxLayout(this);
    auto *group = new QGroupBox(tr("Format"), this);
    auto *groupLayout = new QVBoxLayout(group);
    m_markdown = new QRadioButton(tr("Markdown (.md)"), group);
    m_html = new QRadioButton(tr("HTML (.html)"), group);
    m_pdf = new QRadioButton(tr("PDF (.pdf)"), group);
    m_markdown->setChecked(true);
    groupLayout->addWidget(m_markdown);
    groupLayout->addWidget(m_html);
    groupLayout->addWidget(m_pdf);
    layout->addWidget(group);

    m_attachments = new QCheckBox(tr("Include attachments (ZIP bundle)"), this);
    layout->addWidget(m_attachments);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

ExportFormat ExportDialog::format() const
{
    if (m_html->isChecked())
        return ExportFormat::Html;
    if (m_pdf->isChecked())
        return ExportFormat::Pdf;
    return ExportFormat::Markdown;
}

bool ExportDialog::includeAttachments() const
{
    return m_attachments->isChecked();
}
