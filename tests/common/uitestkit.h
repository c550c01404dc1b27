#pragma once

// Shared set-up of the widget tests: notebooks, answered questions, menus,
// drops and the stored text of a note.

#include "appstatefixture.h"
#include "delta.h"
#include "notebookrepository.h"

#include <QAbstractItemView>
#include <QAction>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>

namespace VelmTest {

// The plain text of the stored note, empty when there is none.
inline QString storedText(AppState &state, const QString &id)
{
    const std::optional<Note> note = state.notes()->noteById(id);
    return note ? deltaPlainText(note->body) : QString();
}

inline QString addNotebook(AppState &state, const QString &name)
{
    Notebook notebook;
    notebook.id = newId();
    notebook.name = name;
    notebook.createdAt = notebook.updatedAt = QDateTime::currentDateTimeUtc();
    return state.notebooks()->insert(notebook) ? notebook.id : QString();
}

// Stands in for a yes/no box: keeps each question as "title|text" and answers yes.
struct Questions
{
    QStringList asked;
    bool yes = false;
    auto hook()
    {
        return [this](QWidget *, const QString &title, const QString &text) {
            asked << title + QLatin1Char('|') + text;
            return yes;
        };
    }
};

// The action called text among actions and their submenus.
inline QAction *findAction(const QList<QAction *> &actions, const QString &text)
{
    for (QAction *action : actions) {
        if (action->text() == text)
            return action;
        if (QAction *inner = action->menu() ? findAction(action->menu()->actions(), text) : nullptr)
            return inner;
    }
    return nullptr;
}

// Drags a note id over pos of view and drops it, as the platform would; true when taken.
inline bool dropNoteId(QAbstractItemView *view, const QPoint &pos, const QByteArray &noteId)
{
    QMimeData mime;
    mime.setData(QStringLiteral("application/x-velmora-note-id"), noteId);
    QDragEnterEvent enter(pos, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &enter);
    QDragMoveEvent move(pos, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &move);
    QDropEvent drop(QPointF(pos), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &drop);
    return drop.isAccepted();
}

inline bool showExposed(QWidget *widget)
{
    widget->show();
    return QTest::qWaitForWindowExposed(widget);
}

} // namespace VelmTest
