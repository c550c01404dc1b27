#include "inlineformatting.h"

#include "formatstate.h"
#include "textediting.h"
#include "textformat.h"

#include <QFont>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace InlineFormatting {

namespace {

// The body font instead of inline code, on one format.
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

void clearInlineCode(QTextCursor &cursor, const QFont &base)
{
    if (!cursor.hasSelection()) {
        QTextCharFormat format = cursor.charFormat();
        makePlain(format, base);
        cursor.setCharFormat(format);
        return;
    }
    // A merge cannot remove the foreground, so every run of the selection is rewritten.
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    cursor.beginEditBlock();
    QList<QPair<QPair<int, int>, QTextCharFormat>> updates;
    for (const QTextBlock &block : TextEditing::selectedBlocks(cursor)) {
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

} // namespace

void toggle(QTextCursor &cursor, Mark mark, const QFont &base)
{
    const FormatState state = formatStateAt(cursor);
    QTextCharFormat format;
    switch (mark) {
    case Mark::Bold:
        format.setFontWeight(state.bold ? QFont::Normal : QFont::Bold);
        break;
    case Mark::Italic:
        format.setFontItalic(!state.italic);
        break;
    case Mark::Underline:
        format.setUnderlineStyle(stateCharFormat(cursor).fontUnderline() ? QTextCharFormat::NoUnderline
                                                                          : QTextCharFormat::SingleUnderline);
        break;
    case Mark::Strike:
        format.setFontStrikeOut(!state.strike);
        break;
    case Mark::Code:
        if (state.codeBlock && state.heading == 0)
            return;
        if (state.code) {
            clearInlineCode(cursor, base);
            return;
        }
        format = inlineCodeFormat();
        break;
    }
    cursor.mergeCharFormat(format);
}

} // namespace InlineFormatting
