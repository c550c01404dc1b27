#pragma once

#include <QString>

class AppState;

// Glue between the application shell and the note windows, which the shell's
// AppState cannot create itself.

// Makes state open NoteWindows and forget each one when it closes.
void installNoteWindowFactory(AppState *state);

// The note window a launch asks for, before the main window exists:
// "--new-note" wins over "--note ID". False when neither was asked for.
bool openLaunchNoteWindow(AppState *state, bool newNote, const QString &noteId);

// Reopens the note windows listed in "restore_note_windows" (comma-separated,
// empty parts skipped), then removes the preference. Returns how many were opened.
int restoreNoteWindows(AppState *state);

// Whether the to-dos window was open at the last quit; the preference
// "restore_todos_window" is removed when it was set.
bool takeRestoreTodosWindow(AppState *state);

// Carries out an instance message that concerns note windows ("new-note",
// "note:ID"); false for any other message, which brings up the main window.
bool handleNoteWindowMessage(AppState *state, const QString &message);
