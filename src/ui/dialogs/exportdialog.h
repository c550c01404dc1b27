#pragma once

#include "converters.h"

#include <QDialog>

class QCheckBox;
class QRadioButton;

// Asks for the export format and whether attachments travel along.
class ExportDialog final : public QDialog
{
    Q_OBJECT
public:
    explicit ExportDialog(QWidget *parent = nullptr);

    // Html or Pdf when that button is checked, else Markdown.
    ExportFormat format() const;
    bool includeAttachments() const;

private:
    QRadioButton *m_markdown = nullptr;
    QRadioButton *m_html = nullptr;
    QRadioButton *m_pdf = nullptr;
    QCheckBox *m_attachments = nullptr;
};
