#pragma once

#include <QDialog>

class QDialogButtonBox;
class QLineEdit;

// Asks for a notebook name, for a new notebook or a rename. Callers use the
// static operations; the constructor is public so the enabling rule can be
// exercised without running a modal loop.
class NotebookDialog final : public QDialog
{
    Q_OBJECT
public:
    NotebookDialog(const QString &title, const QString &initialName, QWidget *parent = nullptr);

    // The trimmed name after OK, empty on Cancel or close.
    static QString getNewName(QWidget *parent);
    static QString getRename(QWidget *parent, const QString &currentName);

    QString name() const;
    QLineEdit *nameEdit() const { return m_nameEdit; }
    QDialogButtonBox *buttonBox() const { return m_buttons; }

private:
    static QString run(QWidget *parent, const QString &title, const QString &initialName);
    void updateOkButton();

    QLineEdit *m_nameEdit = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
};
