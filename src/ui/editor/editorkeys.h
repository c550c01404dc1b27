#pragma once

#include <QTextCursor>
#include <Qt>

#include <optional>

// The keys whose effect on the text the editor decides itself rather than the
// text control, apart from the widget: Return (see LineBreak), Backspace on an
// empty first list item, and Tab and Shift+Tab in a table.
namespace EditorKeys {

// The cursor to show after key, or nothing when the key is the text control's.
std::optional<QTextCursor> edit(QTextCursor cursor, int key, Qt::KeyboardModifiers modifiers);

} // namespace EditorKeys
