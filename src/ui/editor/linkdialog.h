#pragma once

#include <QDialog>

class QLineEdit;

// Asks for a link's text and URL. With a text given, the URL field has the
// focus with its text selected; otherwise the text field has it.
class LinkDialog final : public QDialog
{
    Q_OBJECT
public:
    LinkDialog(const QString &title, const QString &text, const QString &url, QWidget *parent = nullptr);

    QString text() const;
    // Trimmed.
    QString url() const;

private:
    QLineEdit *m_text = nullptr;
    QLineEdit *m_url = nullptr;
};
