#pragma once

#include <QWidget>

class NoteListWidget;
class QLabel;
class QLineEdit;
class QVBoxLayout;

// The main window's middle column: the search field's row and the note list.
// Steno mode puts the search row under the list, where the eyes of someone
// typing at the bottom of the screen already are.
class NoteListPane final : public QWidget
{
    Q_OBJECT
public:
    explicit NoteListPane(QWidget *parent = nullptr);

    void setSearchBelow(bool below);
    bool isSearchBelow() const;
    // While the search index is being built, search says results may be missing.
    void setIndexBuilding(bool building);

    NoteListWidget *noteList() const { return m_noteList; }
    QLineEdit *searchField() const { return m_searchField; }
    QWidget *searchRow() const { return m_searchRow; }

private:
    QVBoxLayout *m_layout = nullptr;
    QWidget *m_searchRow = nullptr;
    QLineEdit *m_searchField = nullptr;
    QLabel *m_indexing = nullptr;
    NoteListWidget *m_noteList = nullptr;
};
