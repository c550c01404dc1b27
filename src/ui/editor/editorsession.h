#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class AttachmentRenderer;
class AutosaveScheduler;
class DeltaDocument;
class QTextEdit;

// Which note an editor shows and whether its text is stored: loading a body
// (or a plain rendering of one too large to edit), change tracking with
// autosave, and the save handshake with the editor's owner.
//
// The session never saves: its owner stores the editor's text on
// noteModified(), and before loading another note or closing while unsaved,
// and answers with saveFinished(). A failed save leaves the text unsaved and
// is retried; an owner that does not answer is taken to have stored it.
class EditorSession final : public QObject
{
    Q_OBJECT
public:
    // The editor owns the session and outlives it; document is the editor's.
    EditorSession(QTextEdit *editor, DeltaDocument *document);

    // Not owned; its cached pictures are dropped on every load.
    void setRenderer(AttachmentRenderer *renderer);

    // The note already shown takes a new body as an edit (its undo history and
    // the cursor's text kept) unless force asks for a fresh load.
    void loadNote(const QString &noteId, const QString &body, bool force);
    void clearNote();
    QString noteId() const { return m_noteId; }
    bool isSaved() const;
    bool isSaveFailing() const;
    void saveFinished(bool stored);
    bool saveNow();
    void abandonUnsavedChanges();
    AutosaveScheduler *autosave() const { return m_autosave; }
    int wordCount() const;

    // Bodies above the oversized limit, and bodies with a paragraph above the
    // long-paragraph limit, are shown as plain text broken into display lines,
    // read-only, with a line saying so: laying out and editing them would
    // stall the editor. Such a note is never saved from here.
    void setOversizedNoteLimit(qsizetype characters) { m_oversizedNoteLimit = characters; }
    void setLongParagraphLimit(qsizetype characters) { m_longParagraphLimit = characters; }
    bool isOversized() const { return m_oversized; }

signals:
    void noteModified();
    // Another note (or none) is shown now; a reload of the same note is not a switch.
    void noteSwitched();
    // A body is shown, before noteSwitched().
    void loaded();
    void savedStateChanged(bool saved);
    void saveFailingChanged(bool failing);
    void wordCountChanged(int count);

private:
    void onContentsChanged();
    void onSaveDue();
    // Fills the document from body while it is detached from the editor.
    void fillDetached(const QString &body, const QString &plain, qsizetype longest);

    QTextEdit *m_editor;
    DeltaDocument *m_document;
    QPointer<AttachmentRenderer> m_renderer;
    AutosaveScheduler *m_autosave = nullptr;
    QString m_noteId;
    bool m_loading = false;
    // Set while noteModified() waits for the owner's saveFinished().
    bool m_awaitingSave = false;
    bool m_oversized = false;
    qsizetype m_oversizedNoteLimit = 16 * 1024 * 1024;
    qsizetype m_longParagraphLimit = 100000;
};
