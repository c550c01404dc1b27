#include "editormenu.h"

#include "editorattachments.h"
#include "noteeditor.h"
#include "textediting.h"

#include <QCoreApplication>
#include <QMenu>
#include <QMimeData>
#include <QTextTable>

namespace {

// The menus speak in the editor's translation context.
class EditorMenu
{
    Q_DECLARE_TR_FUNCTIONS(NoteEditor)

public:
    static std::unique_ptr<QMenu> attachmentMenu(EditorAttachments *attachments, const Attachment &attachment);
    static std::unique_ptr<QMenu> linkMenu(NoteEditor *editor, const NoteEditor::LinkRange &range);
    static std::unique_ptr<QMenu> tableMenu(NoteEditor *editor);
};

std::unique_ptr<QMenu> EditorMenu::attachmentMenu(EditorAttachments *attachments, const Attachment &attachment)
{
    auto menu = std::make_unique<QMenu>();
    menu->addAction(tr("Open"), attachments, [attachments, attachment] {
        if (attachment.mimeType.startsWith(QLatin1String("image/")) && attachments->showImage(attachment.id))
            return;
        attachments->open(attachment.id, attachment.filename);
    });
    menu->addAction(tr("Save As…"), attachments,
                    [attachments, attachment] { attachments->saveAs(attachment.id, attachment.filename); });
    menu->addAction(tr("Copy File"), attachments,
                    [attachments, attachment] { attachments->copyFile(attachment.id, attachment.filename); });
    menu->addSeparator();
    menu->addAction(tr("Remove Attachment"), attachments, [attachments, attachment] { attachments->remove(attachment.id); });
    return menu;
}

std::unique_ptr<QMenu> EditorMenu::linkMenu(NoteEditor *editor, const NoteEditor::LinkRange &range)
{
    auto menu = std::make_unique<QMenu>();
    menu->addAction(tr("Open Link"), editor, [editor, range] { editor->openLink(range.href); });
    menu->addAction(tr("Copy Link Address"), editor, [editor, range] {
        if (!editor->hooks().setClipboard)
            return;
        auto *data = new QMimeData;
        data->setText(range.href);
        editor->hooks().setClipboard(data);
    });
    menu->addSeparator();
    menu->addAction(tr("Edit Link…"), editor, [editor, range] { editor->editLink(range); });
    menu->addAction(tr("Remove Link"), editor, [editor, range] { editor->removeLink(range); });
    return menu;
}

std::unique_ptr<QMenu> EditorMenu::tableMenu(NoteEditor *editor)
{
    // Each command works at the cursor as it is when chosen.
    const auto inPlace = [editor](bool (*command)(QTextCursor &)) {
        return [editor, command] {
            QTextCursor cursor = editor->textCursor();
            if (command(cursor))
                editor->setTextCursor(cursor);
        };
    };
    const auto at = [editor](bool (*command)(const QTextCursor &, bool), bool second) {
        return [editor, command, second] { command(editor->textCursor(), second); };
    };
    auto menu = std::make_unique<QMenu>();
    menu->addAction(tr("Insert Row Above"), editor, at(TextEditing::insertTableRow, false));
    menu->addAction(tr("Insert Row Below"), editor, at(TextEditing::insertTableRow, true));
    menu->addSeparator();
    menu->addAction(tr("Insert Column Before"), editor, at(TextEditing::insertTableColumn, false));
    menu->addAction(tr("Insert Column After"), editor, at(TextEditing::insertTableColumn, true));
    menu->addSeparator();
    menu->addAction(tr("Delete Row"), editor, inPlace(TextEditing::deleteTableRow));
    menu->addAction(tr("Delete Column"), editor, inPlace(TextEditing::deleteTableColumn));
    menu->addSeparator();
    menu->addAction(tr("Delete Table"), editor, inPlace(TextEditing::deleteTable));
    return menu;
}

} // namespace

std::unique_ptr<QMenu> editorContextMenu(NoteEditor *editor, EditorAttachments *attachments, const QPoint &viewportPos)
{
    const int position = editor->textCursor().position();
    if (const std::optional<Attachment> record = attachments->recordAt(position))
        return EditorMenu::attachmentMenu(attachments, *record);
    if (const std::optional<NoteEditor::LinkRange> link = editor->linkAt(position))
        return EditorMenu::linkMenu(editor, *link);
    if (editor->textCursor().currentTable())
        return EditorMenu::tableMenu(editor);
    return std::unique_ptr<QMenu>(editor->createStandardContextMenu(viewportPos));
}
