#include "blockformatting.h"

#include "textediting.h"
#include "textformat.h"

#include <QGuiApplication>
#include <QTextBlock>
#include <QTextDocument>

using namespace TextEditing;

namespace BlockFormatting {

QTextCharFormat headingCharFormat(int level)
{
    const HeadingStyle style = headingStyle(level);
    QFont font = QGuiApplication::font();
    font.setPixelSize(style.pixelSize);
    font.setWeight(QFont::Weight(style.weight));
    QTextCharFormat format;
    format.setFont(font);
    if (style.muted)
        format.setForeground(mutedTextColor());
    return format;
}

QTextCharFormat blockCharFormatFor(const QTextBlockFormat &format)
{
    const int level = format.intProperty(TextProperty::HeadingLevel);
    if (level >= 1 && level <= 6)
        return headingCharFormat(level);
    if (format.property(TextProperty::CodeBlock).isValid()) {
        QTextCharFormat code;
        code.setFont(monospaceFont(scaledPixelSize(14)));
        code.setForeground(mutedTextColor());
        return code;
    }
    return bodyCharFormat();
}

void setHeading(QTextCursor cursor, int level, const QFont &base)
{
    if (level < 0 || level > 6)
        return;
    cursor.beginEditBlock();
    for (const QTextBlock &block : selectedBlocks(cursor)) {
        QTextCursor blockCursor(block);
        QTextBlockFormat format = block.blockFormat();
        const bool leavesCodeBlock = level > 0 && format.property(TextProperty::CodeBlock).isValid();
        if (level > 0) {
            format.clearProperty(TextProperty::CodeBlock);
            format.clearProperty(TextProperty::Blockquote);
            format.setProperty(TextProperty::HeadingLevel, level);
        } else {
            format.clearProperty(TextProperty::HeadingLevel);
        }
        applyBlockStyle(format);
        blockCursor.setBlockFormat(format);

        QTextCharFormat line;
        if (level > 0) {
            line = headingCharFormat(level);
        } else {
            line.setFont(base);
        }
        blockCursor.setBlockCharFormat(line);
        changeBlockText(cursor.document(), block, [&line, leavesCodeBlock](QTextCharFormat &text) {
            takeLineFont(text, line, true, !leavesCodeBlock);
        });
    }
    cursor.endEditBlock();
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

void toggleBlockProperty(QTextCursor cursor, int property)
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
        const QTextCharFormat line = blockCharFormatFor(format);
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
}

void makePlain(QTextCharFormat &format, const QFont &base)
{
    format.setFontFamilies(QStringList{base.family()});
    format.setFontFixedPitch(false);
    format.setFontStyleHint(QFont::AnyStyle);
    format.clearProperty(QTextFormat::FontPointSize);
    format.setProperty(QTextFormat::FontPixelSize, base.pixelSize());
    format.setBackground(Qt::transparent);
    format.clearForeground();
}

void clearInlineCode(QTextCursor cursor, const QFont &base)
{
    // A merge cannot remove the foreground, so every run of the selection is rewritten.
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    cursor.beginEditBlock();
    QList<QPair<QPair<int, int>, QTextCharFormat>> updates;
    for (const QTextBlock &block : selectedBlocks(cursor)) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const int from = qMax(start, fragment.position());
            const int to = qMin(end, fragment.position() + fragment.length());
            if (from >= to || fragment.charFormat().objectType() != QTextFormat::NoObject)
                continue;
            QTextCharFormat format = fragment.charFormat();
            makePlain(format, base);
            updates.append({{from, to}, format});
        }
    }
    for (const auto &[range, format] : updates) {
        QTextCursor part(cursor.document());
        part.setPosition(range.first);
        part.setPosition(range.second, QTextCursor::KeepAnchor);
        part.setCharFormat(format);
    }
    cursor.endEditBlock();
}

} // namespace BlockFormatting
