#pragma once

#include <QString>

#include <functional>

class QTextCursor;

// What the plain text of a note does not say about the place of the cursor,
// as a screen reader should read it beside the line: heading level, list item
// with its marker and check state, code block, quote, the link's target, the
// table cell and the attachment's file name.
namespace EditorAccessibility {

// attachmentName answers the file name of an attachment at a document
// position, empty for none. An empty result means plain body text.
QString describe(const QTextCursor &cursor, const std::function<QString(int position)> &attachmentName);

} // namespace EditorAccessibility
