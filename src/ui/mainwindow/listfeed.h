#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>

class AppState;
class NoteListWidget;
class NotebookListWidget;
class QLineEdit;
class StatusBar;

// Fills the main window's note list and notebook sidebar from the database:
// the current notebook's notes page by page (or a search's, ranked, once the
// typing pauses), their count on the status bar, why a list is empty, and
// single-note writes applied to their rows alone.
class ListFeed final : public QObject
{
    Q_OBJECT
public:
    // None is owned; state must outlive the feed.
    ListFeed(AppState *state, NoteListWidget *notes, NotebookListWidget *notebooks, QLineEdit *search,
             StatusBar *statusBar, QObject *parent);

    void refreshNotes();
    void refreshNotebooks();
    // Single-note writes: their rows alone, no list query.
    void notesWritten(const QStringList &ids);

private:
    QString notebookTitle(const QString &notebookId) const;

    QPointer<AppState> m_state;
    NoteListWidget *m_notes;
    NotebookListWidget *m_notebooks;
    QLineEdit *m_search;
    StatusBar *m_statusBar;
    QHash<QString, QString> m_notebookNames;
};
