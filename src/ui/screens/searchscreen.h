#pragma once

#include <QPointer>
#include <QWidget>

class AppState;
class NoteListWidget;
class QLineEdit;
class QTimer;

// Full-text search over all notes. Typing restarts a 300 ms timer and only its
// expiry searches, so a burst of keystrokes runs one query. state is not
// owned and must outlive the screen.
class SearchScreen final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kDebounceMs = 300;

    explicit SearchScreen(AppState *state, QWidget *parent = nullptr);

    void focusSearch();
    void refresh();

    QLineEdit *searchField() const { return m_field; }
    NoteListWidget *noteList() const { return m_list; }
    QTimer *debounceTimer() const { return m_timer; }

signals:
    // After every search run, with the trimmed text that was looked up
    // (empty when the field was blank and nothing was queried).
    void searched(const QString &text);
    // A result was made the current note, to be shown with the query's words.
    void noteOpened(const QString &noteId, const QString &query);

private:
    QPointer<AppState> m_state;
    QLineEdit *m_field = nullptr;
    NoteListWidget *m_list = nullptr;
    QTimer *m_timer = nullptr;
};
