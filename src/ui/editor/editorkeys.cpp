#include "editorkeys.h"

#include "linebreak.h"
#include "textediting.h"
#include "textformat.h"

#include <QTextBlockFormat>

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
    if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && cursor.currentTable())
        return TextEditing::nextTableCell(cursor, key == Qt::Key_Backtab || (modifiers & Qt::ShiftModifier));
    return std::nullopt;
}

} // namespace EditorKeys
