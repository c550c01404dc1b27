#pragma once

#include "editorhooks.h"

#include <QString>
#include <QTextCharFormat>

#include <optional>

class QColor;
class QTextCursor;
class QTextDocument;

// Links in the text, apart from the editor widget. A link is a run whose
// format is an anchor with a target.
namespace EditorLinks {

// [start, end) in document positions.
struct LinkRange
{
    int start = 0;
    int end = 0;
    QString href;
};

// The link whose run contains position (its end included).
std::optional<LinkRange> linkAt(const QTextDocument *document, int position);

// What typing at the cursor should take instead of the format it would
// inherit: at the end of a link (or before one at the start of a line) the
// text typed is plain, so a link never grows by what follows it. Nothing
// inside a link, away from one, or over a selection.
std::optional<QTextCharFormat> typingFormat(const QTextCursor &cursor);

// The link dialog's answer through hooks, its URL trimmed; nothing when
// cancelled or the URL is empty.
std::optional<EditorLinkInput> ask(const EditorHooks &hooks, const QString &title, const EditorLinkInput &initial);

// Links the selection when text is what it holds, else puts text (the url
// when empty) linked in its place. Typing after it is plain.
void insertLink(QTextCursor &cursor, const QString &text, const QString &url);
// The range is plain text again, in textColor.
void removeLink(QTextDocument *document, const LinkRange &range, const QColor &textColor);

} // namespace EditorLinks
