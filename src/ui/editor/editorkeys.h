#pragma once

#include <QTextCursor>
#include <Qt>

#include <optional>

// The keys whose effect on the text the editor decides itself rather than the
// text control, apart from the widget: Return (see LineBreak), Backspace on an
// empty first list item, Tab and Shift+Tab in a table (next and previous
// cell) and in a list (nest and unnest the items; Shift+Tab never leaves the
// editor), and Ctrl+Return on a check item, which ticks or unticks it as a
// click on its box does.
namespace EditorKeys {

// The cursor to show after key, or nothing when the key is the text control's.
std::optional<QTextCursor> edit(QTextCursor cursor, int key, Qt::KeyboardModifiers modifiers);

// Ctrl+Tab and Ctrl+Shift+Tab: the way out of the editor, forwards and
// backwards, even inside a table, where Tab itself moves between cells.
bool leavesEditor(int key, Qt::KeyboardModifiers modifiers);

} // namespace EditorKeys
