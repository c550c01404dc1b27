#pragma once

#include <QDialog>

class QCheckBox;
class QSpinBox;

// Asks for the size of a new table: rows 1..100, columns 1..20, header row.
class InsertTableDialog final : public QDialog
{
    Q_OBJECT
public:
    explicit InsertTableDialog(QWidget *parent = nullptr);

    int rows() const;
    int columns() const;
    bool headerRow() const;

private:
    QSpinBox *m_rows = nullptr;
    QSpinBox *m_columns = nullptr;
    QCheckBox *m_header = nullptr;
};
