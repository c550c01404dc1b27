#pragma once

#include "editorhooks.h"
#include "editorlinks.h"
#include "editorsession.h"
#include "formatstate.h"

#include <QJsonArray>
#include <QPoint>
#include <QTextEdit>

#include <memory>
#include <optional>

class AttachmentRenderer;
class AttachmentRepository;
class AutosaveScheduler;
class EditorAttachments;
class EditorPointer;
class DeltaDocument;
class QMenu;
class QMimeData;

// The rich-text editing widget in which a note is written. Its document is
// owned by a DeltaDocument, which loads a note body (Delta JSON) and writes it
// back. Loading, change tracking and the save handshake are the session's
// (EditorSession, whose calls the editor passes on); the mouse is
// EditorPointer's, commands are EditorActions'. The editor itself holds the
// format state of the cursor that the toolbar mirrors, keys, links,
// attachments, tables, dividers and smart paste.
class NoteEditor final : public QTextEdit
{
    Q_OBJECT
public:
    // Takes the body font of the current font scale; the font is explicit,
    // so an application-wide change passes it by.
    void applyFontScale();

    using LinkInput = EditorLinkInput;
    using Hooks = EditorHooks;

    explicit NoteEditor(QWidget *parent = nullptr);
    ~NoteEditor() override;

    Hooks &hooks() { return m_hooks; }

    // Not owned; must outlive the editor. Null is ignored.
    void setAttachmentRepository(AttachmentRepository *repository);

    // See EditorSession; the owner stores currentDelta() on noteModified().
    void loadNote(const QString &noteId, const QString &body, bool force = false)
    {
        m_session->loadNote(noteId, body, force);
    }
    void clearNote() { m_session->clearNote(); }
    QString currentDelta() const;
    QString noteId() const { return m_session->noteId(); }
    bool isSaved() const { return m_session->isSaved(); }
    // The last save failed and a retry is pending.
    bool isSaveFailing() const { return m_session->isSaveFailing(); }
    // The owner's answer to noteModified(), or the result of a save of its own.
    void saveFinished(bool stored) { m_session->saveFinished(stored); }
    // Asks the owner to store unsaved text at once; true when nothing is left unsaved.
    bool saveNow() { return m_session->saveNow(); }
    // Gives up text that cannot be stored (the user agreed to lose it).
    void abandonUnsavedChanges() { m_session->abandonUnsavedChanges(); }
    AutosaveScheduler *autosave() const { return m_session->autosave(); }
    // 16 MB and 100 000 characters unless set.
    void setOversizedNoteLimit(qsizetype characters) { m_session->setOversizedNoteLimit(characters); }
    void setLongParagraphLimit(qsizetype characters) { m_session->setLongParagraphLimit(characters); }
    // The note loaded is shown as plain text, read-only; it is never saved from here.
    bool isOversized() const { return m_session->isOversized(); }
    int wordCount() const { return m_session->wordCount(); }
    void refreshAttachments();

    // The body font of the current font scale, which plain text goes back to.
    static QFont baseFont();
    // Tells the toolbar the cursor's format, also after a change that left the cursor in place.
    void publishFormatState();

    // Links: a range is [start, end) in document positions.
    using LinkRange = EditorLinks::LinkRange;
    std::optional<LinkRange> linkAt(int position) const;
    void insertLink();
    void editLink(const LinkRange &range);
    void removeLink(const LinkRange &range);
    void openLink(const QString &href);

    void insertTable(int rows, int columns, bool headerRow);
    // Asks for the size, then inserts.
    void insertTableWithDialog();
    void insertDivider();
    void insertDelta(const QJsonArray &delta);

    void insertAttachment();
    bool insertAttachmentFromPath(const QString &path);
    // Stores bytes as a new attachment of the loaded note and puts it at the cursor.
    bool insertAttachmentBytes(const QString &fileName, const QString &mimeType, const QByteArray &bytes);
    bool openAttachment(const QString &id, const QString &fileName);
    void saveAttachmentAs(const QString &id, const QString &fileName);
    void copyAttachmentFile(const QString &id, const QString &fileName);
    void removeAttachment(const QString &id);
    // The attachment id at a document position (or just before it); empty when none.
    QString attachmentIdAt(int position) const;

    // See EditorPointer::contextMenu.
    std::unique_ptr<QMenu> createContextMenu(const QPoint &viewportPos);

    // The clipboard's text without any formatting, in the line's own format.
    void pastePlainText();

signals:
    void noteModified();
    // Another note (or none) is shown now; a reload of the same note is not a switch.
    void noteSwitched();
    // A link to another note ("velmora-notes://note/<id>") was followed.
    void noteLinkActivated(const QString &noteId);
    void savedStateChanged(bool saved);
    void saveFailingChanged(bool failing);
    void wordCountChanged(int count);
    void formatStateChanged(const FormatState &state);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    // A bar along the left edge shows that the keyboard is in the text.
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    QMimeData *createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void leaveLinkEnd();

    DeltaDocument *m_deltaDocument = nullptr;
    AttachmentRenderer *m_renderer = nullptr;
    EditorSession *m_session = nullptr;
    EditorAttachments *m_attachmentFiles = nullptr;
    EditorPointer *m_pointer = nullptr;
    Hooks m_hooks;
};
