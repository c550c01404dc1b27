#include "notewindows.h"

#include "appstate.h"
#include "notewindow.h"
#include "notewindowregistry.h"
#include "preferencesrepository.h"

#include <QStringList>

namespace {
const QString kRestoreNoteWindows = QStringLiteral("restore_note_windows");
const QString kRestoreTodosWindow = QStringLiteral("restore_todos_window");
} // namespace

void installNoteWindowFactory(AppState *state)
{
    if (!state)
        return;
    NoteWindowRegistry *registry = NoteWindowRegistry::of(state);
    registry->setFactory([state, registry](const QString &noteId) -> QWidget * {
        auto *window = new NoteWindow(state, noteId);
        QObject::connect(window, &NoteWindow::windowClosed, registry, &NoteWindowRegistry::forget);
        return window;
    });
}

bool openLaunchNoteWindow(AppState *state, bool newNote, const QString &noteId)
{
    if (!state)
        return false;
    if (newNote) {
        NoteWindowRegistry::of(state)->newNoteInWindow();
        return true;
    }
    if (noteId.isEmpty())
        return false;
    NoteWindowRegistry::of(state)->open(noteId);
    return true;
}

int restoreNoteWindows(AppState *state)
{
    if (!state || !state->preferences())
        return 0;
    const QString stored = state->preferences()->getString(kRestoreNoteWindows);
    if (stored.isEmpty())
        return 0;
    int opened = 0;
    for (const QString &id : stored.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (id == state->unfinishedNoteId())
            continue;
        if (NoteWindowRegistry::of(state)->open(id))
            ++opened;
    }
    state->preferences()->remove(kRestoreNoteWindows);
    return opened;
}

bool takeRestoreTodosWindow(AppState *state)
{
    if (!state || !state->preferences())
        return false;
    if (!state->preferences()->getBool(kRestoreTodosWindow, false))
        return false;
    state->preferences()->remove(kRestoreTodosWindow);
    return true;
}

bool handleNoteWindowMessage(AppState *state, const QString &message)
{
    if (message == QLatin1String("new-note")) {
        if (state)
            NoteWindowRegistry::of(state)->newNoteInWindow();
        return true;
    }
    if (message.startsWith(QLatin1String("note:"))) {
        const QString noteId = message.mid(5);
        if (noteId.isEmpty())
            return false; // no note named: the main window is the sensible answer
        if (state)
            NoteWindowRegistry::of(state)->open(noteId);
        return true;
    }
    return false;
}
