#pragma once

#include <QString>

class AppState;
class QWidget;

// Opens the share dialog of one note or notebook, without blocking.
void openNoteShareDialog(AppState *state, const QString &noteId, const QString &removeText, QWidget *parent);
void openNotebookShareDialog(AppState *state, const QString &notebookId, QWidget *parent);
