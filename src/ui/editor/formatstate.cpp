#include "formatstate.h"

#include "textformat.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

QTextCharFormat stateCharFormat(const QTextCursor &cursor)
{
    if (!cursor.hasSelection())
        return cursor.charFormat();
    // The format before the selection start belongs to the text ahead of it.
    QTextCursor first(cursor.document());
    first.setPosition(cursor.selectionStart() + 1);
    return first.charFormat();
}

FormatState formatStateAt(const QTextCursor &cursor)
{
    const QTextCharFormat format = stateCharFormat(cursor);
    FormatState state;
    const int weight = format.hasProperty(QTextFormat::FontWeight) ? format.intProperty(QTextFormat::FontWeight) : 400;
    state.bold = weight >= 700;
    state.italic = format.fontItalic();
    state.underline = format.fontUnderline() && !format.isAnchor();
    state.strike = format.fontStrikeOut();

    const QTextBlockFormat block = cursor.blockFormat();
    state.heading = block.intProperty(TextProperty::HeadingLevel);
    state.listType = block.stringProperty(TextProperty::ListType);
    state.codeBlock = block.property(TextProperty::CodeBlock).isValid();
    // A code block's fixed pitch is the block's own, not inline code.
    state.code = format.fontFixedPitch() && !(state.codeBlock && state.heading == 0);
    state.blockquote = block.boolProperty(TextProperty::Blockquote);
    state.inTable = cursor.currentTable() != nullptr;
    state.alignment = block.alignment();
    return state;
}
