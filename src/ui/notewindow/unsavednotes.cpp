#include "unsavednotes.h"

#include "delta.h"
#include "noteeditor.h"

#include <QApplication>
#include <QCoreApplication>
#include <QStringList>

QList<NoteEditor *> openNoteEditors()
{
    QList<NoteEditor *> editors;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        QList<NoteEditor *> found = window->findChildren<NoteEditor *>();
        if (auto *editor = qobject_cast<NoteEditor *>(window))
            found.prepend(editor);
        for (NoteEditor *editor : std::as_const(found)) {
            if (!editor->noteId().isEmpty() && !editor->isReadOnly())
                editors << editor;
        }
    }
    return editors;
}

QList<NoteEditor *> saveOpenNotes()
{
    QList<NoteEditor *> unsaved;
    for (NoteEditor *editor : openNoteEditors()) {
        if (!editor->saveNow())
            unsaved << editor;
    }
    return unsaved;
}

QString discardUnsavedTitle()
{
    return QCoreApplication::translate("UnsavedNotes", "Not Saved");
}

QString discardUnsavedQuestion(const QList<NoteEditor *> &editors)
{
    QStringList titles;
    for (const NoteEditor *editor : editors) {
        const QString title = noteTitle(editor->currentDelta());
        titles << (title.isEmpty() ? QCoreApplication::translate("UnsavedNotes", "Untitled") : title);
    }
    return QCoreApplication::translate("UnsavedNotes",
                                       "Changes to these notes could not be saved:\n\n%1\n\n"
                                       "Saving is retried while the application runs (the log tells why it "
                                       "failed). Discard the unsaved changes?")
        .arg(titles.join(QLatin1Char('\n')));
}
