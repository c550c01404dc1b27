#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class AppState;
class QWidget;

// The open note windows, one per note. Lives as a child of the AppState it
// serves, so every view holding the state reaches the same registry; the
// state itself knows nothing of widgets.
class NoteWindowRegistry final : public QObject
{
    Q_OBJECT
public:
    // The factory returns a top-level window without a parent for the note
    // id, and arranges for forget(noteId) when that window closes.
    using Factory = std::function<QWidget *(const QString &noteId)>;

    // The registry of state, made on first use.
    static NoteWindowRegistry *of(AppState *state);

    void setFactory(Factory factory);

    // Stores a new empty note in the current notebook and opens it in its own
    // window. Null when the note could not be stored or no window could be made.
    QWidget *newNoteInWindow();
    // Raises the note's window, or opens one on the screen of the active
    // window. The id is not looked up: the window copes with a note that does
    // not exist. Null without a factory.
    QWidget *open(const QString &noteId);
    QStringList openIds() const;
    QWidget *window(const QString &noteId) const;
    // Forgets the window of noteId; its owner calls this when it closes.
    void forget(const QString &noteId);

private:
    explicit NoteWindowRegistry(AppState *state);
    // Lets each window save its note while the repositories still exist.
    void closeAll();

    AppState *m_state;
    Factory m_factory;
    // Not owned: the windows delete themselves on close.
    QHash<QString, QPointer<QWidget>> m_windows;
};
