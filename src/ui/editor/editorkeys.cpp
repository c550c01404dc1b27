#include "editorkeys.h"

#include "blockformatting.h"
#include "linebreak.h"
#include "textediting.h"
#include "textformat.h"

#include <QTextBlockFormat>
#include <QTextDocument>

namespace EditorKeys {

std::optional<QTextCursor> edit(QTextCursor cursor, int key, Qt::KeyboardModifiers modifiers)
{
    modifiers &= ~Qt::KeypadModifier;
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
        LineBreak::breakLine(cursor);
        return cursor;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers == Qt::ControlModifier) {
        QTextBlockFormat format = cursor.blockFormat();
        const QTextBlockFormat::MarkerType marker = format.marker();
        if (marker == QTextBlockFormat::MarkerType::NoMarker)
            return std::nullopt;
        const bool tick = marker == QTextBlockFormat::MarkerType::Unchecked;
        QTextBlockFormat change;
        change.setMarker(tick ? QTextBlockFormat::MarkerType::Checked : QTextBlockFormat::MarkerType::Unchecked);
        change.setProperty(TextProperty::ListType, tick ? QStringLiteral("checked") : QStringLiteral("unchecked"));
        cursor.mergeBlockFormat(change);
        return cursor;
    }
    if (key == Qt::Key_Backspace && modifiers == Qt::NoModifier && !cursor.hasSelection())
        return TextEditing::removeEmptyFirstListItem(cursor) ? std::optional(cursor) : std::nullopt;
    const bool backtab = key == Qt::Key_Backtab || (key == Qt::Key_Tab && modifiers == Qt::ShiftModifier);
    if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && cursor.currentTable())
        return TextEditing::nextTableCell(cursor, backtab);
    if (key == Qt::Key_Tab && modifiers == Qt::NoModifier)
        return BlockFormatting::indentListItems(cursor, 1) ? std::optional(cursor) : std::nullopt;
    if (backtab && !(modifiers & ~Qt::ShiftModifier)) {
        // Shift+Tab stays in the text: it outdents a list item, or takes back a tab typed before the cursor.
        if (!BlockFormatting::indentListItems(cursor, -1) && !cursor.hasSelection() && !cursor.atBlockStart()
            && cursor.document()->characterAt(cursor.position() - 1) == QLatin1Char('\t'))
            cursor.deletePreviousChar();
        return cursor;
    }
    return std::nullopt;
}

bool leavesEditor(int key, Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ControlModifier) && (key == Qt::Key_Tab || key == Qt::Key_Backtab);
}

} // namespace EditorKeys
