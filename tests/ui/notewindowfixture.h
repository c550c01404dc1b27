#pragma once

#include "appstatefixture.h"
#include "notewindow.h"
#include "notewindowregistry.h"
#include "notewindows.h"

// An empty application state whose notes open in note windows.
inline std::unique_ptr<AppState> newState()
{
    auto state = VelmTest::emptyState();
    installNoteWindowFactory(state.get());
    return state;
}

inline NoteWindow *openWindow(AppState *state, const QString &id)
{
    return qobject_cast<NoteWindow *>(NoteWindowRegistry::of(state)->open(id));
}
