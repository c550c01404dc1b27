#include "editoraccessibility.h"

#include "textformat.h"

#include <QCoreApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>
#include <QTextTable>

namespace EditorAccessibility {

namespace {

class Texts
{
    Q_DECLARE_TR_FUNCTIONS(NoteEditor)
};

QString listItemText(const QTextBlock &block)
{
    const QTextBlockFormat format = block.blockFormat();
    if (format.marker() == QTextBlockFormat::MarkerType::Checked)
        return Texts::tr("check item, checked");
    if (format.marker() == QTextBlockFormat::MarkerType::Unchecked)
        return Texts::tr("check item, not checked");
    const QTextList *list = block.textList();
    if (!list)
        return {};
    const int number = list->itemNumber(block) + 1;
    const QTextListFormat::Style style = list->format().style();
    if (style == QTextListFormat::ListDecimal || style == QTextListFormat::ListLowerAlpha
        || style == QTextListFormat::ListUpperAlpha || style == QTextListFormat::ListLowerRoman
        || style == QTextListFormat::ListUpperRoman)
        return Texts::tr("numbered list item %1 of %2").arg(number).arg(list->count());
    return Texts::tr("bulleted list item %1 of %2").arg(number).arg(list->count());
}

} // namespace

QString describe(const QTextCursor &cursor, const std::function<QString(int position)> &attachmentName)
{
    QStringList parts;
    const QTextBlock block = cursor.block();
    const QTextBlockFormat format = block.blockFormat();
    const int level = format.intProperty(TextProperty::HeadingLevel);
    if (level >= 1 && level <= 6)
        parts << Texts::tr("heading level %1").arg(level);
    const QString item = listItemText(block);
    if (!item.isEmpty())
        parts << item;
    if (format.hasProperty(TextProperty::CodeBlock))
        parts << Texts::tr("code block");
    if (format.boolProperty(TextProperty::Blockquote))
        parts << Texts::tr("quote");
    if (const QTextTable *table = cursor.currentTable()) {
        const QTextTableCell cell = table->cellAt(cursor);
        parts << Texts::tr("table, %1 columns, %2 rows: row %3, column %4")
                     .arg(table->columns())
                     .arg(table->rows())
                     .arg(cell.row() + 1)
                     .arg(cell.column() + 1);
    }
    // The character after the cursor, as the caret sits before what it reads.
    QTextCursor next(cursor);
    next.clearSelection();
    if (!next.atBlockEnd()) {
        next.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
        const QString href = next.charFormat().anchorHref();
        if (!href.isEmpty())
            parts << Texts::tr("link to %1").arg(href);
    }
    const QString href = cursor.charFormat().anchorHref();
    if (!href.isEmpty() && !parts.contains(Texts::tr("link to %1").arg(href)))
        parts << Texts::tr("link to %1").arg(href);
    if (attachmentName) {
        const QString name = attachmentName(cursor.position());
        if (!name.isEmpty())
            parts << Texts::tr("attachment %1").arg(name);
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace EditorAccessibility
