#pragma once

class QFont;
class QTextCursor;

// Bold, italic, underline, strike-out and inline code, apart from the editor
// widget. The editor passes its body font, which plain text goes back to.
namespace InlineFormatting {

enum class Mark { Bold, Italic, Underline, Strike, Code };

// Sets the mark over the selection, or clears it when the selection's first
// character has it; with no selection, for what is typed next. Inline code
// means nothing inside a code block and is left alone there.
void toggle(QTextCursor &cursor, Mark mark, const QFont &base);

} // namespace InlineFormatting
