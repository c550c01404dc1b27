#include "blockformatting.h"

#include "textediting.h"
#include "textformat.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

using namespace TextEditing;

namespace BlockFormatting {

namespace {

// On an empty line the cursor would type in whatever format it carried
// before: the line's new format is what typing there takes.
void typeInLineFormat(QTextCursor &cursor)
{
    if (!cursor.hasSelection() && cursor.block().text().isEmpty())
        cursor.setCharFormat(cursor.block().charFormat());
}

} // namespace

void setHeading(QTextCursor &cursor, int level)
{
    if (level < 0 || level > 6)
        return;
    cursor.beginEditBlock();
    for (const QTextBlock &block : selectedBlocks(cursor)) {
        QTextCursor blockCursor(block);
        QTextBlockFormat format = block.blockFormat();
        // Normal Text is body text: it also leaves a code block or a quote.
        const bool leavesCodeBlock = format.property(TextProperty::CodeBlock).isValid();
        format.clearProperty(TextProperty::CodeBlock);
        format.clearProperty(TextProperty::Blockquote);
        if (level > 0)
            format.setProperty(TextProperty::HeadingLevel, level);
        else
            format.clearProperty(TextProperty::HeadingLevel);
        applyBlockStyle(format);
        blockCursor.setBlockFormat(format);

        const QTextCharFormat line = lineCharFormat(format);
        blockCursor.setBlockCharFormat(line);
        changeBlockText(cursor.document(), block, [&line, leavesCodeBlock](QTextCharFormat &text) {
            takeLineFont(text, line, true, !leavesCodeBlock);
        });
    }
    cursor.endEditBlock();
    typeInLineFormat(cursor);
}

void toggleList(QTextCursor cursor, const QString &type)
{
    const QList<QTextBlock> blocks = selectedBlocks(cursor);
    if (blocks.isEmpty())
        return;
    const QString current = blocks.first().blockFormat().stringProperty(TextProperty::ListType);
    // A ticked item belongs to the check list as much as an unticked one.
    const auto family = [](const QString &t) {
        return t == QLatin1String("checked") ? QStringLiteral("unchecked") : t;
    };
    const QString newType = family(current) == family(type) ? QString() : type;
    cursor.beginEditBlock();
    for (const QTextBlock &block : blocks) {
        QTextCursor blockCursor(block);
        applyListType(blockCursor, newType);
    }
    cursor.endEditBlock();
}

bool indentListItems(QTextCursor cursor, int step)
{
    const QList<QTextBlock> blocks = selectedBlocks(cursor);
    if (blocks.isEmpty() || !std::any_of(blocks.cbegin(), blocks.cend(), isListItem))
        return false;
    const auto typeOf = [](const QTextBlock &block) {
        return blockFormatToLineAttributes(block.blockFormat()).value(QLatin1String("list")).toString();
    };
    cursor.beginEditBlock();
    for (const QTextBlock &block : blocks) {
        if (!isListItem(block))
            continue;
        QTextCursor blockCursor(block);
        QTextBlockFormat format = block.blockFormat();
        const int indent = qBound(0, listIndent(format) + step, kMaxListIndent);
        if (indent > 0)
            format.setProperty(TextProperty::ListIndent, indent);
        else
            format.clearProperty(TextProperty::ListIndent);
        const QString type = typeOf(block);
        blockCursor.setBlockFormat(format);
        applyListType(blockCursor, type);
    }
    // The items below take the lists their levels now call for, as a reload would give them.
    for (QTextBlock block = blocks.constLast().next(); block.isValid() && isListItem(block); block = block.next()) {
        QTextCursor blockCursor(block);
        applyListType(blockCursor, typeOf(block));
    }
    cursor.endEditBlock();
    return true;
}

void toggleBlockProperty(QTextCursor &cursor, int property)
{
    const QList<QTextBlock> blocks = selectedBlocks(cursor);
    if (blocks.isEmpty())
        return;
    const QVariant value = blocks.first().blockFormat().property(property);
    const bool isSet = property == TextProperty::CodeBlock ? value.isValid() : value.toBool();
    cursor.beginEditBlock();
    for (const QTextBlock &block : blocks) {
        QTextCursor blockCursor(block);
        const bool wasHeading = block.blockFormat().hasProperty(TextProperty::HeadingLevel);
        const bool wasCodeBlock = block.blockFormat().property(TextProperty::CodeBlock).isValid();
        if (isListItem(block) && !isSet)
            applyListType(blockCursor, QString());
        QTextBlockFormat format = blockCursor.blockFormat();
        if (isSet) {
            format.clearProperty(property);
        } else {
            format.clearProperty(TextProperty::HeadingLevel);
            format.clearProperty(TextProperty::ListType);
            format.clearProperty(TextProperty::CodeBlock);
            format.clearProperty(TextProperty::Blockquote);
            format.setProperty(property, true);
        }
        applyBlockStyle(format);
        blockCursor.setBlockFormat(format);
        const QTextCharFormat line = lineCharFormat(format);
        blockCursor.setBlockCharFormat(line);
        // The text takes the line's font so that a code line is written as code
        // (and stops being code when the block is toggled back).
        // A heading's weight is the heading's, so it leaves with it.
        const bool takeWeight = wasHeading || format.hasProperty(TextProperty::HeadingLevel);
        const bool keepInlineCode = !wasCodeBlock && !format.property(TextProperty::CodeBlock).isValid();
        changeBlockText(cursor.document(), block, [&line, takeWeight, keepInlineCode](QTextCharFormat &text) {
            takeLineFont(text, line, takeWeight, keepInlineCode);
        });
    }
    cursor.endEditBlock();
    typeInLineFormat(cursor);
}

} // namespace BlockFormatting
