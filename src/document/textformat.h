#pragma once

// The Delta vocabulary as it lives inside a rich text document: user
// properties of block and character formats, object types of embedded
// objects, and the formatting functions that loading a Delta and the editor
// share, so that formatting applied by hand looks exactly like formatting
// loaded from a body. Colours follow the application palette at the moment a
// function is called; nothing restyles text already in a document.

#include <QColor>
#include <QFont>
#include <QJsonObject>
#include <QTextFormat>

class QTextCursor;

// User properties carried by block and character formats.
namespace TextProperty {
enum : int {
    HeadingLevel = QTextFormat::UserProperty + 1,          // block, int 1..6
    ListType = QTextFormat::UserProperty + 2,              // block, text
    CodeBlock = QTextFormat::UserProperty + 3,             // block, true or the attribute's text
    Blockquote = QTextFormat::UserProperty + 4,            // block, bool
    TableSpacer = QTextFormat::UserProperty + 5,           // block, bool: paragraph created around a table
    ListIndent = QTextFormat::UserProperty + 6,            // block, int >= 1: nesting level ("indent")
    ExtraLineAttributes = QTextFormat::UserProperty + 10,  // block, QJsonObject of unknown line attributes
    ExtraInlineAttributes = QTextFormat::UserProperty + 20, // char, QJsonObject of unknown inline attributes
    PreExistingBlock = QTextFormat::UserProperty + 99,     // block, only while a table is inserted
    ObjectKind = QTextFormat::UserProperty + 100,          // char, the embed kind
    ObjectUrl = QTextFormat::UserProperty + 101,           // char, the embed value
};
} // namespace TextProperty

// Object types of the U+FFFC characters that stand for embeds.
namespace TextObject {
enum : int {
    Attachment = QTextFormat::UserObject + 1, // drawn by AttachmentRenderer
    Divider = QTextFormat::UserObject + 2,    // drawn by DividerRenderer
};
} // namespace TextObject

// The process-wide font scale in percent (70..160, initially 100). The theme
// manager keeps it; it forwards every change here because the document model
// sits below it.
int documentFontScale();
void setDocumentFontScale(int percent);
// factor × scale / 100 (integer division), never below 1.
int scaledPixelSize(int factor);

struct HeadingStyle
{
    int pixelSize = 16;          // already scaled by the font scale
    int weight = 400;
    int lineHeightPercent = 150; // proportional line height
    int topMargin = 0;           // pixels
    int bottomMargin = 8;        // pixels
    bool muted = false;          // drawn in the muted text colour
};

// Levels 1..6; any other level gives the body style.
HeadingStyle headingStyle(int level);

// The one test of "is this theme dark" for every layer: the window colour is
// darker than mid-grey.
bool isDarkPalette();
bool isDarkPalette(const QPalette &palette);

// Theme colours of the document.
QColor mutedTextColor();
QColor codeBlockBackgroundColor();
QColor inlineCodeTextColor();
QColor inlineCodeBackgroundColor();
QColor linkColor();

// "monospace" with a monospace style hint and fixed pitch at pixelSize.
QFont monospaceFont(int pixelSize);
// Monospace font properties (only those) plus the inline-code colours. Only
// the monospace properties are set, so bold, italic, underline and strike of
// the text it is merged into are kept.
QTextCharFormat inlineCodeFormat();
// The application font at pixel size 16 scaled, every font property set.
QTextCharFormat bodyCharFormat();
// The character format of a line's own text, from its block format: heading,
// code block or body. Loading a body and editing by hand both take it, so a
// line typed and the same line reloaded look alike.
QTextCharFormat lineCharFormat(const QTextBlockFormat &format);
// A line format's look without a link, for text typed after one.
QTextCharFormat withoutLink(QTextCharFormat format, const QTextBlockFormat &block);

// The deepest nesting of a list item ("indent" line attribute); deeper
// values read as this.
inline constexpr int kMaxListIndent = 8;
// The nesting level of a line: 0 at the outermost level.
int listIndent(const QTextBlockFormat &format);

// Makes the cursor's block an item of the given list type ("bullet",
// "ordered", "checked", "unchecked" or any other text); an empty type turns
// it back into a plain paragraph. Joins the previous block's list when its
// style matches, so a check-list item after a bullet item continues the list.
// An item nested by the "indent" attribute joins the nearest item above at
// its level (deeper items in between stay out), so numbering goes on around
// nested lists; an item of a lower level in between starts a new list.
void applyListType(QTextCursor &cursor, const QString &listType);
// Spacing, line height, margins and background from the heading level, code
// block and blockquote properties of the format.
void applyBlockStyle(QTextBlockFormat &format);

// Line attributes of a Delta line end <-> block format. Unknown keys travel in
// TextProperty::ExtraLineAttributes.
QTextBlockFormat lineAttributesToBlockFormat(const QJsonObject &attributes);
QJsonObject blockFormatToLineAttributes(const QTextBlockFormat &format);
// Inline attributes of a text run <-> character format. Unknown keys travel in
// TextProperty::ExtraInlineAttributes.
QTextCharFormat inlineAttributesToCharFormat(const QJsonObject &attributes);
QJsonObject charFormatToInlineAttributes(const QTextCharFormat &format);
