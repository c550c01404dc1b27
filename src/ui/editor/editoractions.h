#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class NoteEditor;
class QAction;
class QMenu;
class QWidget;

// Every command of the note editor that a key, a menu or the toolbar runs.
enum class EditorCommand {
    Bold,
    Italic,
    Underline,
    Strikethrough,
    InlineCode,
    Heading1,
    Heading2,
    Heading3,
    NormalText,
    BulletList,
    NumberedList,
    CheckList,
    CodeBlock,
    Blockquote,
    AlignLeft,
    AlignCenter,
    AlignRight,
    InsertLink,
    InsertDivider,
    InsertTable,
    InsertAttachment,
    SelectLine,
    DeleteWordBefore,
    DuplicateLine,
    DeleteLine,
    MoveLineUp,
    MoveLineDown,
};

// The one table of editor commands: name, shortcut and what each does. The
// windows' menus, the toolbar's buttons and tool tips and the editor's own key
// handling all read it, so a shortcut that is advertised also works.
class EditorActions final : public QObject
{
    Q_OBJECT
public:
    // Makes one action per command with a shortcut, live in window (so the
    // shortcuts work before the menus are built) and running on the editor.
    EditorActions(QWidget *window, NoteEditor *editor);

    QAction *action(EditorCommand command) const;
    // Adds the Format menu entries in their usual order.
    void addFormatMenu(QMenu *menu) const;
    // Adds Cut, Copy, Paste, Paste as Plain Text and Select All with their
    // usual keys; each works on the line edit that has the keyboard (search,
    // find) and otherwise on the editor.
    void addClipboardMenu(QMenu *menu) const;

    // The menu text (without mnemonic or ellipsis for tool tips).
    static QString text(EditorCommand command);
    static QKeySequence shortcut(EditorCommand command);
    // "Bold (Ctrl+B)", or the bare name for a command without a key.
    static QString toolTip(EditorCommand command);
    // The command a key press runs in the editor; nothing for other keys.
    static std::optional<EditorCommand> commandForKey(int key, Qt::KeyboardModifiers modifiers);
    // Runs command on editor unless the editor shows no note or is read-only.
    static bool run(NoteEditor *editor, EditorCommand command);
    // The editor's own keys: EditorKeys' edits first, then the commands'
    // shortcuts, which the text control would claim (Ctrl+K) before any
    // window shortcut sees them. False when the key is the text control's.
    static bool runKey(NoteEditor *editor, int key, Qt::KeyboardModifiers modifiers);
    // Level 0 is body text; see BlockFormatting::setHeading.
    static void setHeading(NoteEditor *editor, int level);

private:
    QPointer<NoteEditor> m_editor;
    QList<QAction *> m_actions;
};
