#pragma once

class QTextCursor;

// What Return does, apart from the editor widget. The new line is built from
// the same block and character formats that loading a body gives it, so a
// note looks the same typed and reopened.
namespace LineBreak {

// Replaces the selection, if any, then ends the line at the cursor in one
// undo step; the cursor ends where typing goes on:
// - in a list: an empty nested item steps out one level, an empty item at
//   the outermost level ends the list; at the start of an item a plain
//   line opens above it (the cursor goes there); otherwise the list goes on,
//   a ticked task followed by an unticked one;
// - at the end of a heading: a body paragraph follows (inside one, the
//   heading is split in two headings);
// - on an empty quote line, or an empty last line of a code block: the line
//   leaves the quote or the block;
// - otherwise the line is split and the new one keeps the line's format.
// Text typed after a link on the new line is not part of the link.
void breakLine(QTextCursor &cursor);

} // namespace LineBreak
