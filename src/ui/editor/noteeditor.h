#pragma once

#include "editorhooks.h"
#include "editorlinks.h"
#include "formatstate.h"
#include "inlineformatting.h"
#include "textformat.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QPoint>
#include <QPointer>
#include <QTextCursor>
#include <QTextEdit>

#include <functional>
#include <memory>
#include <tuple>
#include <optional>

class AttachmentRenderer;
class AttachmentRepository;
class AutosaveScheduler;
class EditorAttachments;
class DeltaDocument;
class QMenu;
class QMimeData;

// The rich-text editing widget in which a note is written. Its document is
// owned by a DeltaDocument, which loads a note body (Delta JSON) and writes it
// back. The editor adds change tracking with autosave (AutosaveScheduler), word
// counting, the format state of the cursor that the toolbar mirrors, keyboard
// commands, links, attachments, tables, dividers and smart paste.
//
// The editor never saves: its owner stores currentDelta() on noteModified(),
// and before loading another note or closing while the editor is unsaved, and
// answers with saveFinished(). A failed save leaves the editor unsaved and is
// retried; an owner that does not answer is taken to have stored the text.
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

    // The note already shown takes a new body as an edit (its undo history and
    // the cursor's text kept) unless force asks for a fresh load.
    void loadNote(const QString &noteId, const QString &body, bool force = false);
    void clearNote();
    QString currentDelta() const;
    QString noteId() const { return m_noteId; }
    bool isSaved() const;
    // The last save failed and a retry is pending.
    bool isSaveFailing() const;
    // The owner's answer to noteModified(), or the result of a save of its own.
    void saveFinished(bool stored);
    // Asks the owner to store unsaved text at once; true when nothing is left unsaved.
    bool saveNow();
    // Gives up text that cannot be stored (the user agreed to lose it).
    void abandonUnsavedChanges();
    AutosaveScheduler *autosave() const { return m_autosave; }
    // Bodies above this many characters (16 MB unless set), and bodies with a
    // paragraph above the long-paragraph limit (100 000 characters unless
    // set), are shown as plain text broken into display lines, read-only, with
    // a line saying so: laying out and editing them would stall the editor.
    void setOversizedNoteLimit(qsizetype characters) { m_oversizedNoteLimit = characters; }
    void setLongParagraphLimit(qsizetype characters) { m_longParagraphLimit = characters; }
    // The note loaded is shown that way; it is never saved from here.
    bool isOversized() const { return m_oversized; }
    int wordCount() const;
    void refreshAttachments();

    void toggleBold() { toggleMark(InlineFormatting::Mark::Bold); }
    void toggleItalic() { toggleMark(InlineFormatting::Mark::Italic); }
    void toggleUnderline() { toggleMark(InlineFormatting::Mark::Underline); }
    void toggleStrikethrough() { toggleMark(InlineFormatting::Mark::Strike); }
    void toggleInlineCode() { toggleMark(InlineFormatting::Mark::Code); }

    void setHeading(int level);
    void toggleList(const QString &type);
    void toggleBulletList() { toggleList(QStringLiteral("bullet")); }
    void toggleOrderedList() { toggleList(QStringLiteral("ordered")); }
    void toggleCheckList() { toggleList(QStringLiteral("unchecked")); }
    void toggleCodeBlock() { toggleBlockProperty(TextProperty::CodeBlock); }
    void toggleBlockquote() { toggleBlockProperty(TextProperty::Blockquote); }
    void setAlignment(Qt::Alignment alignment);

    // Line commands.
    void selectLine();
    void deleteWordBefore();
    void duplicateBlock();
    void deleteBlock();
    void moveBlock(bool up);

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

    // The context menu for a click at viewportPos (moves the cursor there
    // unless the click is inside the selection); the caller runs it.
    std::unique_ptr<QMenu> createContextMenu(const QPoint &viewportPos);
    // The tool tip over an attachment or a link at viewportPos; empty elsewhere.
    QString toolTipAt(const QPoint &viewportPos) const;

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
    void onContentsChanged();
    void onSaveDue();
    void markEdited();
    void publishFormatState();
    QFont baseFont() const;
    void toggleMark(InlineFormatting::Mark mark);
    void leaveLinkEnd();
    void toggleBlockProperty(int property);


    bool showToolTip(const QPoint &viewportPos, const QPoint &globalPos);

    DeltaDocument *m_deltaDocument = nullptr;
    AttachmentRenderer *m_renderer = nullptr;
    QPointer<AttachmentRepository> m_attachments;
    EditorAttachments *m_attachmentFiles = nullptr;
    QString m_noteId;
    bool m_loading = false;
    // Set while noteModified() waits for the owner's saveFinished().
    bool m_awaitingSave = false;
    bool m_oversized = false;
    qsizetype m_oversizedNoteLimit = 16 * 1024 * 1024;
    qsizetype m_longParagraphLimit = 100000;
    AutosaveScheduler *m_autosave = nullptr;
    QElapsedTimer m_tripleClickTimer;
    QPoint m_tripleClickPos;
    Hooks m_hooks;
};
