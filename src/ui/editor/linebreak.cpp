#include "linebreak.h"

#include "blockformatting.h"
#include "textediting.h"
#include "textformat.h"

#include <QTextBlock>
#include <QTextCursor>

namespace LineBreak {

namespace {

bool isHeading(const QTextBlockFormat &format)
{
    const int level = format.intProperty(TextProperty::HeadingLevel);
    return level >= 1 && level <= 6;
}

QTextCharFormat typingFormat(const QTextCursor &cursor)
{
    const QTextCharFormat format = cursor.charFormat();
    return format.isAnchor() ? withoutLink(format, cursor.blockFormat()) : format;
}

// The empty line at the cursor becomes a body line.
void leaveBlock(QTextCursor &cursor, const QTextBlockFormat &body)
{
    cursor.setBlockFormat(body);
    cursor.setBlockCharFormat(lineCharFormat(body));
    cursor.setCharFormat(lineCharFormat(body));
}

} // namespace

void breakLine(QTextCursor &cursor)
{
    cursor.beginEditBlock();
    if (cursor.hasSelection())
        cursor.removeSelectedText();
    const QTextBlock block = cursor.block();
    const QTextBlockFormat format = block.blockFormat();
    const QTextBlockFormat body = lineAttributesToBlockFormat({});

    if (TextEditing::isListItem(block)) {
        if (block.text().isEmpty() && listIndent(format) > 0) {
            // An empty nested item steps out one level before it leaves the list.
            BlockFormatting::indentListItems(cursor, -1);
        } else if (block.text().isEmpty()) {
            applyListType(cursor, QString());
        } else if (cursor.atBlockStart()) {
            cursor.insertBlock(format, cursor.charFormat());
            cursor.movePosition(QTextCursor::PreviousBlock);
            applyListType(cursor, QString());
        } else {
            QTextBlockFormat next = format;
            if (next.marker() == QTextBlockFormat::MarkerType::Checked) {
                next.setMarker(QTextBlockFormat::MarkerType::Unchecked);
                next.setProperty(TextProperty::ListType, QStringLiteral("unchecked"));
            }
            cursor.insertBlock(next, typingFormat(cursor));
        }
    } else if (isHeading(format) && cursor.atBlockEnd()) {
        cursor.insertBlock(body, lineCharFormat(body));
    } else if (format.boolProperty(TextProperty::Blockquote) && block.text().isEmpty()) {
        leaveBlock(cursor, body);
    } else if (format.property(TextProperty::CodeBlock).isValid() && block.text().isEmpty()
               && !block.next().blockFormat().property(TextProperty::CodeBlock).isValid()) {
        // An empty last line of a code block is the way out of it; empty lines inside stay code.
        leaveBlock(cursor, body);
    } else {
        QTextBlockFormat next = format;
        // The paragraphs around a table are left out of the body only while empty and next to it.
        next.clearProperty(TextProperty::TableSpacer);
        cursor.insertBlock(next, typingFormat(cursor));
    }
    cursor.endEditBlock();
}

} // namespace LineBreak
