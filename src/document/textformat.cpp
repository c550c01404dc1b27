#include "textformat.h"

#include <QGuiApplication>
#include <QJsonValue>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>

#include <algorithm>

namespace {

int g_fontScale = 100;

// The colours a note renders with. They are part of how a note looks rather
// than window chrome, and the theme manager sits above this layer, so the
// one table of them lives here.
enum class DocumentColour { MutedText, CodeBlockBackground, InlineCodeText, InlineCodeBackground, Link };

QColor documentColour(DocumentColour role)
{
    struct Pair
    {
        const char *light, *dark;
    };
    static constexpr Pair table[] = {
        {"#44474E", "#C4C6CF"}, // MutedText
        {"#ECEEF1", "#2A2D31"}, // CodeBlockBackground
        {"#0E1B2C", "#D6E3F7"}, // InlineCodeText
        {"#DCE6F4", "#33445C"}, // InlineCodeBackground
        {"#1565C0", "#64B5F6"}, // Link
    };
    const Pair &pair = table[int(role)];
    return QColor(QLatin1String(isDarkPalette() ? pair.dark : pair.light));
}

QFont applicationFontAt(int pixelSize, int weight)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Weight(weight));
    return font;
}

} // namespace

int documentFontScale()
{
    return g_fontScale;
}

void setDocumentFontScale(int percent)
{
    g_fontScale = std::clamp(percent, 70, 160);
}

int scaledPixelSize(int factor)
{
    return std::max(1, factor * g_fontScale / 100);
}

HeadingStyle headingStyle(int level)
{
    struct Row
    {
        int factor, weight, lineHeight, top, bottom;
        bool muted;
    };
    static constexpr Row rows[] = {
        {28, 700, 130, 24, 12, false}, {22, 700, 130, 20, 10, false}, {18, 600, 140, 16, 8, false},
        {16, 600, 140, 12, 6, false},  {14, 600, 140, 10, 4, false},  {13, 600, 140, 8, 4, true},
    };
    static constexpr Row body{16, 400, 150, 0, 8, false};
    const Row &row = (level >= 1 && level <= 6) ? rows[level - 1] : body;
    return HeadingStyle{scaledPixelSize(row.factor), row.weight, row.lineHeight, row.top, row.bottom, row.muted};
}

bool isDarkPalette(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

bool isDarkPalette()
{
    return isDarkPalette(QGuiApplication::palette());
}

QColor mutedTextColor()
{
    return documentColour(DocumentColour::MutedText);
}

QColor codeBlockBackgroundColor()
{
    return documentColour(DocumentColour::CodeBlockBackground);
}

QColor inlineCodeTextColor()
{
    return documentColour(DocumentColour::InlineCodeText);
}

QColor inlineCodeBackgroundColor()
{
    return documentColour(DocumentColour::InlineCodeBackground);
}

QColor linkColor()
{
    return documentColour(DocumentColour::Link);
}

QFont monospaceFont(int pixelSize)
{
    QFont font;
    font.setFamily(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace, QFont::PreferDefault);
    font.setFixedPitch(true);
    font.setPixelSize(pixelSize);
    return font;
}

QTextCharFormat inlineCodeFormat()
{
    QTextCharFormat format;
    // Only what monospaceFont specifies: a code run keeps its weight,
    // slant, underline and strike-out.
    format.setFont(monospaceFont(scaledPixelSize(14)), QTextCharFormat::FontPropertiesSpecifiedOnly);
    format.setForeground(inlineCodeTextColor());
    format.setBackground(inlineCodeBackgroundColor());
    return format;
}

QTextCharFormat bodyCharFormat()
{
    QTextCharFormat format;
    format.setFont(applicationFontAt(scaledPixelSize(16), QFont::Normal), QTextCharFormat::FontPropertiesAll);
    return format;
}

QTextCharFormat lineCharFormat(const QTextBlockFormat &format)
{
    const int level = format.intProperty(TextProperty::HeadingLevel);
    QTextCharFormat line;
    if (level >= 1 && level <= 6) {
        const HeadingStyle style = headingStyle(level);
        line.setFont(applicationFontAt(style.pixelSize, style.weight), QTextCharFormat::FontPropertiesAll);
        if (style.muted)
            line.setForeground(mutedTextColor());
    } else if (format.property(TextProperty::CodeBlock).isValid()) {
        line.setFont(monospaceFont(scaledPixelSize(14)), QTextCharFormat::FontPropertiesAll);
        line.setForeground(mutedTextColor());
    } else {
        line = bodyCharFormat();
    }
    return line;
}

QTextCharFormat withoutLink(QTextCharFormat format, const QTextBlockFormat &block)
{
    format.setAnchor(false);
    format.clearProperty(QTextFormat::AnchorHref);
    format.setUnderlineStyle(QTextCharFormat::NoUnderline);
    const QTextCharFormat line = lineCharFormat(block);
    if (line.hasProperty(QTextFormat::ForegroundBrush))
        format.setForeground(line.foreground());
    else
        format.clearForeground();
    return format;
}

int listIndent(const QTextBlockFormat &format)
{
    return qBound(0, format.intProperty(TextProperty::ListIndent), kMaxListIndent);
}

namespace {

bool isOrderedStyle(QTextListFormat::Style style)
{
    return style == QTextListFormat::ListDecimal || style == QTextListFormat::ListLowerAlpha
        || style == QTextListFormat::ListLowerRoman;
}

// Each level draws its own marker, as people expect of nested lists.
QTextListFormat::Style listStyle(bool ordered, int indent)
{
    static const QTextListFormat::Style numbers[] = {QTextListFormat::ListDecimal, QTextListFormat::ListLowerAlpha,
                                                     QTextListFormat::ListLowerRoman};
    static const QTextListFormat::Style bullets[] = {QTextListFormat::ListDisc, QTextListFormat::ListCircle,
                                                     QTextListFormat::ListSquare};
    return ordered ? numbers[indent % 3] : bullets[indent % 3];
}

// The list the block continues: the nearest list item above at its level,
// looking past deeper items, when it is of the same kind.
QTextList *listToJoin(const QTextBlock &block, bool ordered, int indent)
{
    for (QTextBlock above = block.previous(); above.isValid(); above = above.previous()) {
        QTextList *list = above.textList();
        if (!list)
            return nullptr;
        const int level = listIndent(above.blockFormat());
        if (level > indent)
            continue;
        if (level < indent)
            return nullptr;
        return isOrderedStyle(list->format().style()) == ordered ? list : nullptr;
    }
    return nullptr;
}

} // namespace

void applyListType(QTextCursor &cursor, const QString &listType)
{
    QTextBlock block = cursor.block();
    QTextBlockFormat format = cursor.blockFormat();
    if (QTextList *list = block.textList())
        list->remove(block);
    format.setMarker(QTextBlockFormat::MarkerType::NoMarker);
    format.setObjectIndex(-1);
    format.setIndent(0);
    format.clearProperty(TextProperty::ListType);
    if (listType.isEmpty())
        format.clearProperty(TextProperty::ListIndent);
    cursor.setBlockFormat(format);
    if (listType.isEmpty())
        return;

    const bool ordered = listType == QLatin1String("ordered");
    const int indent = listIndent(format);
    if (QTextList *list = listToJoin(block, ordered, indent)) {
        list->add(block);
    } else {
        QTextListFormat listFormat;
        listFormat.setStyle(listStyle(ordered, indent));
        listFormat.setIndent(indent + 1);
        cursor.createList(listFormat);
    }

    format = cursor.blockFormat();
    if (listType == QLatin1String("checked"))
        format.setMarker(QTextBlockFormat::MarkerType::Checked);
    else if (listType == QLatin1String("unchecked"))
        format.setMarker(QTextBlockFormat::MarkerType::Unchecked);
    format.setProperty(TextProperty::ListType, listType);
    cursor.setBlockFormat(format);
}

void applyBlockStyle(QTextBlockFormat &format)
{
    const QVariant level = format.property(TextProperty::HeadingLevel);
    const int headingLevel = level.isValid() ? level.toInt() : 0;
    if (headingLevel >= 1 && headingLevel <= 6) {
        const HeadingStyle style = headingStyle(headingLevel);
        format.setTopMargin(style.topMargin);
        format.setBottomMargin(style.bottomMargin);
        format.setLineHeight(style.lineHeightPercent, QTextBlockFormat::ProportionalHeight);
        format.clearBackground();
        format.setLeftMargin(0);
        format.setRightMargin(0);
    } else if (format.property(TextProperty::CodeBlock).isValid()) {
        format.setTopMargin(8);
        format.setBottomMargin(8);
        format.setLineHeight(140, QTextBlockFormat::ProportionalHeight);
        format.setBackground(codeBlockBackgroundColor());
        format.setLeftMargin(12);
        format.setRightMargin(12);
    } else if (format.boolProperty(TextProperty::Blockquote)) {
        format.setTopMargin(0);
        format.setBottomMargin(8);
        format.setLineHeight(150, QTextBlockFormat::ProportionalHeight);
        format.setLeftMargin(16);
        format.setRightMargin(0);
        format.clearBackground();
    } else {
        format.setTopMargin(0);
        format.setBottomMargin(8);
        format.setLineHeight(150, QTextBlockFormat::ProportionalHeight);
        format.clearBackground();
        format.setLeftMargin(0);
        format.setRightMargin(0);
    }
}

QTextBlockFormat lineAttributesToBlockFormat(const QJsonObject &attributes)
{
    QTextBlockFormat format;
    QJsonObject extra;
    for (auto it = attributes.constBegin(); it != attributes.constEnd(); ++it) {
        const QString key = it.key();
        const QJsonValue value = it.value();
        if (key == QLatin1String("header")) {
            // Only whole numbers 1..6 are headings.
            const double level = value.toDouble(0);
            if (value.isDouble() && level >= 1 && level <= 6 && level == int(level))
                format.setProperty(TextProperty::HeadingLevel, int(level));
        } else if (key == QLatin1String("list")) {
            if (value.isString())
                format.setProperty(TextProperty::ListType, value.toString());
        } else if (key == QLatin1String("code-block")) {
            if (value.isString())
                format.setProperty(TextProperty::CodeBlock, value.toString());
            else
                format.setProperty(TextProperty::CodeBlock, true);
        } else if (key == QLatin1String("blockquote")) {
            format.setProperty(TextProperty::Blockquote, true);
        } else if (key == QLatin1String("indent") && value.isDouble() && value.toDouble() >= 1
                   && value.toDouble() == value.toInt()) {
            format.setProperty(TextProperty::ListIndent, value.toInt());
        } else if (key == QLatin1String("align")) {
            const QString align = value.toString();
            if (align == QLatin1String("center"))
                format.setAlignment(Qt::AlignHCenter);
            else if (align == QLatin1String("right"))
                format.setAlignment(Qt::AlignRight);
            else if (align == QLatin1String("justify"))
                format.setAlignment(Qt::AlignJustify);
            else
                format.setAlignment(Qt::AlignLeft);
        } else if (key == QLatin1String("bold") || key == QLatin1String("italic")
                   || key == QLatin1String("underline") || key == QLatin1String("strike")
                   || key == QLatin1String("code") || key == QLatin1String("link")) {
            continue;
        } else {
            extra.insert(key, value);
        }
    }
    if (!extra.isEmpty())
        format.setProperty(TextProperty::ExtraLineAttributes, QVariant::fromValue(extra));
    applyBlockStyle(format);
    return format;
}

QTextCharFormat inlineAttributesToCharFormat(const QJsonObject &attributes)
{
    QTextCharFormat format;
    QJsonObject extra;
    for (auto it = attributes.constBegin(); it != attributes.constEnd(); ++it) {
        const QString key = it.key();
        const bool on = it.value().toBool(false);
        if (key == QLatin1String("bold")) {
            if (on)
                format.setFontWeight(QFont::Bold);
        } else if (key == QLatin1String("italic")) {
            if (on)
                format.setFontItalic(true);
        } else if (key == QLatin1String("underline")) {
            if (on)
                format.setUnderlineStyle(QTextCharFormat::SingleUnderline);
        } else if (key == QLatin1String("strike")) {
            if (on)
                format.setFontStrikeOut(true);
        } else if (key == QLatin1String("code")) {
            if (on)
                format.merge(inlineCodeFormat());
        } else if (key == QLatin1String("link")) {
            format.setAnchor(true);
            format.setAnchorHref(it.value().toVariant().toString());
            format.setUnderlineStyle(QTextCharFormat::SingleUnderline);
            format.setForeground(linkColor());
        } else if (key == QLatin1String("header") || key == QLatin1String("list")
                   || key == QLatin1String("code-block") || key == QLatin1String("blockquote")) {
            continue;
        } else {
            extra.insert(key, it.value());
        }
    }
    if (!extra.isEmpty())
        format.setProperty(TextProperty::ExtraInlineAttributes, QVariant::fromValue(extra));
    return format;
}

QJsonObject charFormatToInlineAttributes(const QTextCharFormat &format)
{
    QJsonObject attributes;
    if (format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= QFont::Bold)
        attributes.insert(QLatin1String("bold"), true);
    if (format.fontItalic())
        attributes.insert(QLatin1String("italic"), true);
    if (format.fontUnderline() && !format.isAnchor())
        attributes.insert(QLatin1String("underline"), true);
    if (format.fontStrikeOut())
        attributes.insert(QLatin1String("strike"), true);
    if (format.fontFixedPitch() || format.fontFamilies().toStringList().contains(QLatin1String("monospace")))
        attributes.insert(QLatin1String("code"), true);
    if (format.isAnchor() && !format.anchorHref().isEmpty())
        attributes.insert(QLatin1String("link"), format.anchorHref());
    const QJsonObject extra = format.property(TextProperty::ExtraInlineAttributes).toJsonObject();
    for (auto it = extra.constBegin(); it != extra.constEnd(); ++it) {
        if (!attributes.contains(it.key()))
            attributes.insert(it.key(), it.value());
    }
    return attributes;
}

QJsonObject blockFormatToLineAttributes(const QTextBlockFormat &format)
{
    QJsonObject attributes;
    const QVariant level = format.property(TextProperty::HeadingLevel);
    if (level.isValid() && level.toInt() >= 1 && level.toInt() <= 6)
        attributes.insert(QLatin1String("header"), level.toInt());

    const QString listType = format.stringProperty(TextProperty::ListType);
    if (format.marker() == QTextBlockFormat::MarkerType::Checked)
        attributes.insert(QLatin1String("list"), QLatin1String("checked"));
    else if (format.marker() == QTextBlockFormat::MarkerType::Unchecked)
        attributes.insert(QLatin1String("list"), QLatin1String("unchecked"));
    else if (!listType.isEmpty())
        attributes.insert(QLatin1String("list"), listType);

    const QVariant codeBlock = format.property(TextProperty::CodeBlock);
    if (codeBlock.isValid()) {
        const bool isText = codeBlock.typeId() == QMetaType::QString;
        if (isText && !codeBlock.toString().isEmpty())
            attributes.insert(QLatin1String("code-block"), codeBlock.toString());
        else
            attributes.insert(QLatin1String("code-block"), true);
    }
    if (format.boolProperty(TextProperty::Blockquote))
        attributes.insert(QLatin1String("blockquote"), true);
    // Written as read: a level deeper than the editor shows is kept.
    if (const int indent = format.intProperty(TextProperty::ListIndent); indent > 0)
        attributes.insert(QLatin1String("indent"), indent);

    const Qt::Alignment align = format.alignment();
    if (align & Qt::AlignHCenter)
        attributes.insert(QLatin1String("align"), QLatin1String("center"));
    else if (align & Qt::AlignRight)
        attributes.insert(QLatin1String("align"), QLatin1String("right"));
    else if (align & Qt::AlignJustify)
        attributes.insert(QLatin1String("align"), QLatin1String("justify"));

    const QJsonObject extra = format.property(TextProperty::ExtraLineAttributes).toJsonObject();
    for (auto it = extra.constBegin(); it != extra.constEnd(); ++it) {
        if (!attributes.contains(it.key()))
            attributes.insert(it.key(), it.value());
    }
    return attributes;
}
