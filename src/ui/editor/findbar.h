#pragma once

#include <QList>
#include <QPointer>
#include <QTextCursor>
#include <QWidget>

class NoteEditor;
class QLabel;
class QMenu;
class QLineEdit;
class QPushButton;
class QTimer;
class QToolButton;

// The inline find and replace bar of a note editor (not owned): the query,
// "n of m", previous and next, and a replace row shown on demand. Every match
// is highlighted in the editor and the current one selected. Return and F3 go
// to the next match, Shift+Return and Shift+F3 to the previous one, Escape
// closes the bar and gives the keyboard back to the text. The bar also shows
// the words of a search that opened the note (showSearchTerms).
class FindBar final : public QWidget
{
    Q_OBJECT
public:
    explicit FindBar(NoteEditor *editor, QWidget *parent = nullptr);

    // Shows the bar (with the replace row when replace is set), the query
    // taken from a one-line selection, and puts the keyboard in the query.
    void open(bool replace);
    void close();
    void findNext() { step(true); }
    void findPrevious() { step(false); }
    void replaceCurrent();
    void replaceAll();
    // Highlights where the words of a full-text search query start words,
    // with the bar closed, and shows the first of them; cleared by the next
    // note or by Escape.
    void showSearchTerms(const QString &query);
    // Adds Find in Note (Ctrl+F), Find Next (F3), Find Previous (Shift+F3)
    // and Replace (Ctrl+R) to a window's menu; the window's shortcuts.
    void addMenuCommands(QMenu *menu);

    QLineEdit *findField() const { return m_find; }
    QLineEdit *replaceField() const { return m_replace; }
    QString countText() const;
    int matchCount() const { return int(m_matches.size()); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();
    void step(bool forward);
    void select(int index);
    void highlight();
    void setReplaceVisible(bool visible);
    void updateCount();

    QPointer<NoteEditor> m_editor;
    QLineEdit *m_find = nullptr;
    QLineEdit *m_replace = nullptr;
    QLabel *m_count = nullptr;
    QToolButton *m_previous = nullptr;
    QToolButton *m_next = nullptr;
    QToolButton *m_replaceToggle = nullptr;
    QToolButton *m_close = nullptr;
    QPushButton *m_replaceOne = nullptr;
    QPushButton *m_replaceEvery = nullptr;
    QWidget *m_replaceRow = nullptr;
    QTimer *m_refreshTimer = nullptr;
    QList<QTextCursor> m_matches;
    int m_current = -1;
    // Set while the matches are search words rather than the bar's query.
    bool m_searchTerms = false;
    QString m_termsQuery;
};
