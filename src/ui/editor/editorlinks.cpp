#include "editorlinks.h"

#include "textediting.h"
#include "textformat.h"

#include <QColor>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace EditorLinks {

std::optional<LinkRange> linkAt(const QTextDocument *document, int position)
{
    const QTextBlock block = document->findBlock(position);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const int start = fragment.position();
        const int end = start + fragment.length();
        if (start <= position && position <= end) {
            const QTextCharFormat format = fragment.charFormat();
            if (format.isAnchor() && !format.anchorHref().isEmpty())
                return LinkRange{start, end, format.anchorHref()};
        }
    }
    return std::nullopt;
}

std::optional<QTextCharFormat> typingFormat(const QTextCursor &cursor)
{
    const QTextCharFormat format = cursor.charFormat();
    if (cursor.hasSelection() || !format.isAnchor())
        return std::nullopt;
    const QTextDocument *document = cursor.document();
    const int position = cursor.position();
    if (!cursor.atBlockStart() && !cursor.atBlockEnd()) {
        const QTextCharFormat before = TextEditing::charFormatAt(document, position - 1);
        const QTextCharFormat after = TextEditing::charFormatAt(document, position);
        if (before.isAnchor() && after.isAnchor() && before.anchorHref() == after.anchorHref())
            return std::nullopt;
    }
    return withoutLink(format, cursor.blockFormat());
}

std::optional<EditorLinkInput> ask(const EditorHooks &hooks, const QString &title, const EditorLinkInput &initial)
{
    if (!hooks.askLink)
        return std::nullopt;
    std::optional<EditorLinkInput> answer = hooks.askLink(title, initial);
    if (!answer)
        return std::nullopt;
    answer->url = answer->url.trimmed();
    if (answer->url.isEmpty())
        return std::nullopt;
    return answer;
}

void insertLink(QTextCursor &cursor, const QString &text, const QString &url)
{
    QString selected = cursor.selectedText();
    selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    if (cursor.hasSelection() && text == selected)
        cursor.mergeCharFormat(TextEditing::linkFormat(url));
    else
        cursor.insertText(text.isEmpty() ? url : text, TextEditing::linkFormat(url));
    if (const std::optional<QTextCharFormat> plain = typingFormat(cursor))
        cursor.setCharFormat(*plain);
}

void removeLink(QTextDocument *document, const LinkRange &range, const QColor &textColor)
{
    QTextCursor cursor(document);
    cursor.setPosition(range.start);
    cursor.setPosition(range.end, QTextCursor::KeepAnchor);
    QTextCharFormat format;
    format.setAnchor(false);
    format.setAnchorHref(QString());
    format.setUnderlineStyle(QTextCharFormat::NoUnderline);
    format.setForeground(textColor);
    cursor.mergeCharFormat(format);
}

} // namespace EditorLinks
