#pragma once

#include <QList>
#include <QString>

class NoteEditor;

// Every writable editor that shows a note, in all of the application's windows.
QList<NoteEditor *> openNoteEditors();
// Asks each open editor to store what it holds now; returns those left unsaved.
QList<NoteEditor *> saveOpenNotes();
// Asked before unsaved text is given up; names the notes of editors.
QString discardUnsavedTitle();
QString discardUnsavedQuestion(const QList<NoteEditor *> &editors);
