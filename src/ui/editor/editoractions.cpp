#include "editoractions.h"

#include "blockformatting.h"
#include "editorkeys.h"
#include "inlineformatting.h"
#include "noteeditor.h"
#include "textediting.h"
#include "textformat.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTextBlockFormat>
#include <QWidget>

#include <functional>

namespace {

struct Entry
{
    EditorCommand command;
    const char *text;
    QKeySequence shortcut;
};

const QList<Entry> &table()
{
    static const QList<Entry> entries{
        {EditorCommand::Bold, QT_TRANSLATE_NOOP("EditorActions", "Bold"), QKeySequence::Bold},
        {EditorCommand::Italic, QT_TRANSLATE_NOOP("EditorActions", "Italic"), QKeySequence::Italic},
        {EditorCommand::Underline, QT_TRANSLATE_NOOP("EditorActions", "Underline"), QKeySequence::Underline},
        {EditorCommand::Strikethrough, QT_TRANSLATE_NOOP("EditorActions", "Strikethrough"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X)},
        {EditorCommand::InlineCode, QT_TRANSLATE_NOOP("EditorActions", "Inline Code"),
         QKeySequence(Qt::CTRL | Qt::Key_QuoteLeft)},
        {EditorCommand::Heading1, QT_TRANSLATE_NOOP("EditorActions", "Heading 1"), QKeySequence(Qt::CTRL | Qt::Key_1)},
        {EditorCommand::Heading2, QT_TRANSLATE_NOOP("EditorActions", "Heading 2"), QKeySequence(Qt::CTRL | Qt::Key_2)},
        {EditorCommand::Heading3, QT_TRANSLATE_NOOP("EditorActions", "Heading 3"), QKeySequence(Qt::CTRL | Qt::Key_3)},
        {EditorCommand::NormalText, QT_TRANSLATE_NOOP("EditorActions", "Normal Text"),
         QKeySequence(Qt::CTRL | Qt::Key_0)},
        {EditorCommand::BulletList, QT_TRANSLATE_NOOP("EditorActions", "Bullet List"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_8)},
        {EditorCommand::NumberedList, QT_TRANSLATE_NOOP("EditorActions", "Numbered List"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_7)},
        {EditorCommand::CheckList, QT_TRANSLATE_NOOP("EditorActions", "Checkbox List"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_9)},
        {EditorCommand::CodeBlock, QT_TRANSLATE_NOOP("EditorActions", "Code Block"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_QuoteLeft)},
        {EditorCommand::Blockquote, QT_TRANSLATE_NOOP("EditorActions", "Blockquote"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B)},
        {EditorCommand::AlignLeft, QT_TRANSLATE_NOOP("EditorActions", "Align Left"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L)},
        {EditorCommand::AlignCenter, QT_TRANSLATE_NOOP("EditorActions", "Align Center"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E)},
        {EditorCommand::AlignRight, QT_TRANSLATE_NOOP("EditorActions", "Align Right"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R)},
        {EditorCommand::InsertLink, QT_TRANSLATE_NOOP("EditorActions", "Insert Link..."),
         QKeySequence(Qt::CTRL | Qt::Key_K)},
        {EditorCommand::InsertDivider, QT_TRANSLATE_NOOP("EditorActions", "Insert Divider"), QKeySequence()},
        {EditorCommand::InsertTable, QT_TRANSLATE_NOOP("EditorActions", "Insert Table..."),
         QKeySequence(Qt::CTRL | Qt::Key_T)},
        {EditorCommand::InsertAttachment, QT_TRANSLATE_NOOP("EditorActions", "Insert Attachment..."),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A)},
        {EditorCommand::SelectLine, QT_TRANSLATE_NOOP("EditorActions", "Select Line"),
         QKeySequence(Qt::CTRL | Qt::Key_L)},
        {EditorCommand::DeleteWordBefore, QT_TRANSLATE_NOOP("EditorActions", "Delete Word"),
         QKeySequence(Qt::CTRL | Qt::Key_W)},
        {EditorCommand::DuplicateLine, QT_TRANSLATE_NOOP("EditorActions", "Duplicate Line"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D)},
        {EditorCommand::DeleteLine, QT_TRANSLATE_NOOP("EditorActions", "Delete Line"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K)},
        {EditorCommand::MoveLineUp, QT_TRANSLATE_NOOP("EditorActions", "Move Line Up"),
         QKeySequence(Qt::ALT | Qt::Key_Up)},
        {EditorCommand::MoveLineDown, QT_TRANSLATE_NOOP("EditorActions", "Move Line Down"),
         QKeySequence(Qt::ALT | Qt::Key_Down)},
    };
    return entries;
}

const Entry &entry(EditorCommand command)
{
    // The table lists the commands in the order of the enumeration.
    return table().at(int(command));
}

// Layouts report Shift+digit either as the digit or as the shifted symbol.
int unshifted(int key)
{
    switch (key) {
    case Qt::Key_Ampersand: return Qt::Key_7;
    case Qt::Key_Asterisk: return Qt::Key_8;
    case Qt::Key_ParenLeft: return Qt::Key_9;
    case Qt::Key_AsciiTilde: return Qt::Key_QuoteLeft;
    default: return key;
    }
}

} // namespace

EditorActions::EditorActions(QWidget *window, NoteEditor *editor)
    : QObject(window)
    , m_editor(editor)
{
    for (const Entry &e : table()) {
        auto *action = new QAction(text(e.command), window);
        // The keys that edit lines belong to the editor alone: as window
        // shortcuts they would take Alt+Up and Ctrl+L from the lists.
        if (e.command < EditorCommand::SelectLine)
            action->setShortcut(e.shortcut);
        const EditorCommand command = e.command;
        connect(action, &QAction::triggered, this, [this, command] { run(m_editor, command); });
        window->addAction(action);
        m_actions.append(action);
    }
}

QAction *EditorActions::action(EditorCommand command) const
{
    return m_actions.value(int(command));
}

void EditorActions::addFormatMenu(QMenu *menu) const
{
    const QList<QList<EditorCommand>> groups{
        {EditorCommand::Bold, EditorCommand::Italic, EditorCommand::Underline, EditorCommand::Strikethrough,
         EditorCommand::InlineCode},
        {EditorCommand::Heading1, EditorCommand::Heading2, EditorCommand::Heading3, EditorCommand::NormalText},
        {EditorCommand::BulletList, EditorCommand::NumberedList, EditorCommand::CheckList},
        {EditorCommand::CodeBlock, EditorCommand::Blockquote},
        {EditorCommand::AlignLeft, EditorCommand::AlignCenter, EditorCommand::AlignRight},
        {EditorCommand::InsertLink, EditorCommand::InsertDivider, EditorCommand::InsertTable},
    };
    for (const QList<EditorCommand> &group : groups) {
        if (!menu->isEmpty())
            menu->addSeparator();
        for (EditorCommand command : group)
            menu->addAction(action(command));
    }
}

void EditorActions::addClipboardMenu(QMenu *menu) const
{
    QPointer<NoteEditor> editor = m_editor;
    const auto add = [menu](const QString &text, const QKeySequence &key, auto onLine, auto onEditor) {
        QAction *action = menu->addAction(text);
        action->setShortcut(key);
        QObject::connect(action, &QAction::triggered, menu, [onLine, onEditor] {
            if (auto *line = qobject_cast<QLineEdit *>(QApplication::focusWidget()))
                onLine(line);
            else
                onEditor();
        });
    };
    add(tr("Cut"), QKeySequence::Cut, [](QLineEdit *line) { line->cut(); }, [editor] {
        if (editor)
            editor->cut();
    });
    add(tr("Copy"), QKeySequence::Copy, [](QLineEdit *line) { line->copy(); }, [editor] {
        if (editor)
            editor->copy();
    });
    add(tr("Paste"), QKeySequence::Paste, [](QLineEdit *line) { line->paste(); }, [editor] {
        if (editor)
            editor->paste();
    });
    // A line edit only ever takes plain text.
    add(tr("Paste as Plain Text"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V), [](QLineEdit *line) { line->paste(); },
        [editor] {
            if (editor)
                editor->pastePlainText();
        });
    add(tr("Select All"), QKeySequence::SelectAll, [](QLineEdit *line) { line->selectAll(); }, [editor] {
        if (editor)
            editor->selectAll();
    });
}

QString EditorActions::text(EditorCommand command)
{
    return QCoreApplication::translate("EditorActions", entry(command).text);
}

QKeySequence EditorActions::shortcut(EditorCommand command)
{
    return entry(command).shortcut;
}

QString EditorActions::toolTip(EditorCommand command)
{
    QString name = text(command);
    if (name.endsWith(QLatin1String("...")))
        name.chop(3);
    const QKeySequence key = shortcut(command);
    if (key.isEmpty())
        return name;
    return tr("%1 (%2)").arg(name, key.toString(QKeySequence::NativeText));
}

std::optional<EditorCommand> EditorActions::commandForKey(int key, Qt::KeyboardModifiers modifiers)
{
    modifiers &= ~Qt::KeypadModifier;
    if (modifiers & Qt::ShiftModifier)
        key = unshifted(key);
    const QKeySequence pressed(QKeyCombination(modifiers, Qt::Key(key)));
    for (const Entry &e : table()) {
        if (!e.shortcut.isEmpty() && e.shortcut.matches(pressed) == QKeySequence::ExactMatch)
            return e.command;
    }
    return std::nullopt;
}

namespace {

// A format command at the editor's cursor; the toolbar hears of it even when
// the cursor stays where it was.
void formatAtCursor(NoteEditor *editor, const std::function<void(QTextCursor &)> &format)
{
    QTextCursor cursor = editor->textCursor();
    format(cursor);
    editor->setTextCursor(cursor);
    editor->publishFormatState();
}

void toggleMark(NoteEditor *editor, InlineFormatting::Mark mark)
{
    formatAtCursor(editor, [mark, base = NoteEditor::baseFont()](QTextCursor &cursor) {
        InlineFormatting::toggle(cursor, mark, base);
    });
}

void toggleBlockProperty(NoteEditor *editor, int property)
{
    formatAtCursor(editor, [property](QTextCursor &cursor) { BlockFormatting::toggleBlockProperty(cursor, property); });
}

// Lists and alignment leave the cursor (and the format it types in) alone.
void toggleList(NoteEditor *editor, const QString &type)
{
    BlockFormatting::toggleList(editor->textCursor(), type);
    editor->publishFormatState();
}

void setAlignment(NoteEditor *editor, Qt::Alignment alignment)
{
    QTextBlockFormat format;
    format.setAlignment(alignment & Qt::AlignHorizontal_Mask);
    editor->textCursor().mergeBlockFormat(format);
    editor->publishFormatState();
}

// A line command: the cursor it returns is shown.
void editLine(NoteEditor *editor, QTextCursor (*edit)(QTextCursor))
{
    editor->setTextCursor(edit(editor->textCursor()));
}

} // namespace

bool EditorActions::runKey(NoteEditor *editor, int key, Qt::KeyboardModifiers modifiers)
{
    modifiers &= ~Qt::KeypadModifier;
    if (const std::optional<QTextCursor> edited = EditorKeys::edit(editor->textCursor(), key, modifiers)) {
        editor->setTextCursor(*edited);
        return true;
    }
    const std::optional<EditorCommand> command = commandForKey(key, modifiers);
    return command && run(editor, *command);
}

void EditorActions::setHeading(NoteEditor *editor, int level)
{
    formatAtCursor(editor, [level](QTextCursor &cursor) { BlockFormatting::setHeading(cursor, level); });
}

bool EditorActions::run(NoteEditor *editor, EditorCommand command)
{
    using Mark = InlineFormatting::Mark;
    if (!editor || editor->noteId().isEmpty() || editor->isReadOnly())
        return false;
    switch (command) {
    case EditorCommand::Bold: toggleMark(editor, Mark::Bold); break;
    case EditorCommand::Italic: toggleMark(editor, Mark::Italic); break;
    case EditorCommand::Underline: toggleMark(editor, Mark::Underline); break;
    case EditorCommand::Strikethrough: toggleMark(editor, Mark::Strike); break;
    case EditorCommand::InlineCode: toggleMark(editor, Mark::Code); break;
    case EditorCommand::Heading1: setHeading(editor, 1); break;
    case EditorCommand::Heading2: setHeading(editor, 2); break;
    case EditorCommand::Heading3: setHeading(editor, 3); break;
    case EditorCommand::NormalText: setHeading(editor, 0); break;
    case EditorCommand::BulletList: toggleList(editor, QStringLiteral("bullet")); break;
    case EditorCommand::NumberedList: toggleList(editor, QStringLiteral("ordered")); break;
    case EditorCommand::CheckList: toggleList(editor, QStringLiteral("unchecked")); break;
    case EditorCommand::CodeBlock: toggleBlockProperty(editor, TextProperty::CodeBlock); break;
    case EditorCommand::Blockquote: toggleBlockProperty(editor, TextProperty::Blockquote); break;
    case EditorCommand::AlignLeft: setAlignment(editor, Qt::AlignLeft); break;
    case EditorCommand::AlignCenter: setAlignment(editor, Qt::AlignHCenter); break;
    case EditorCommand::AlignRight: setAlignment(editor, Qt::AlignRight); break;
    case EditorCommand::InsertLink: editor->insertLink(); break;
    case EditorCommand::InsertDivider: editor->insertDivider(); break;
    case EditorCommand::InsertTable: editor->insertTableWithDialog(); break;
    case EditorCommand::InsertAttachment: editor->insertAttachment(); break;
    case EditorCommand::SelectLine: editLine(editor, TextEditing::selectLine); break;
    case EditorCommand::DeleteWordBefore: editLine(editor, TextEditing::deleteWordBefore); break;
    case EditorCommand::DuplicateLine: editLine(editor, TextEditing::duplicateLine); break;
    case EditorCommand::DeleteLine: editLine(editor, TextEditing::deleteLine); break;
    case EditorCommand::MoveLineUp: editor->setTextCursor(TextEditing::moveLine(editor->textCursor(), true)); break;
    case EditorCommand::MoveLineDown: editor->setTextCursor(TextEditing::moveLine(editor->textCursor(), false)); break;
    }
    return true;
}
