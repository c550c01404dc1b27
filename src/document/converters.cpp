#include "converters.h"

#include "delta.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <functional>
#include <optional>

namespace {

struct Segment
{
    QString text; // never holds "\n"
    QJsonObject attributes;
};

using Line = QList<Segment>;

// The walk shared by the Markdown and HTML writers: text inserts are cut into
// lines at "\n" (each newline closes the pending line with the insert's
// attributes, even when nothing is pending); dividers and tables close a
// non-empty pending line first and then write their own block.
struct DeltaWalker
{
    std::function<void(const Line &, const QJsonObject &)> closeLine;
    std::function<void()> divider;
    std::function<void(const QString &)> table;

    void walk(const QJsonArray &delta) const
    {
        Line pending;
        const QJsonObject noAttributes;
        for (const DeltaOp &op : parseDelta(delta)) {
            if (op.type == DeltaOp::InsertText) {
                qsizetype start = 0;
                for (;;) {
                    const qsizetype newline = op.text.indexOf(QLatin1Char('\n'), start);
                    const qsizetype end = newline < 0 ? op.text.size() : newline;
                    if (end > start)
                        pending.append({op.text.mid(start, end - start), op.attributes});
                    if (newline < 0)
                        break;
                    closeLine(pending, op.attributes);
                    pending.clear();
                    start = newline + 1;
                }
            } else if (op.type == DeltaOp::InsertEmbed) {
                const QString kind = op.embedKind();
                if (kind != QLatin1String(kDividerEmbedKind) && kind != QLatin1String(kTableEmbedKind))
                    continue; // attachments and images have no text form
                if (!pending.isEmpty()) {
                    closeLine(pending, noAttributes);
                    pending.clear();
                }
                if (kind == QLatin1String(kDividerEmbedKind))
                    divider();
                else
                    table(op.embedValue());
            }
        }
        if (!pending.isEmpty())
            closeLine(pending, noAttributes);
    }
};

bool isOn(const QJsonObject &attributes, QLatin1String key)
{
    return attributes.value(key).toBool();
}

int headingLevel(const QJsonObject &attributes)
{
    const int level = attributes.value(QLatin1String("header")).toInt();
    return level >= 1 && level <= 6 ? level : 0;
}

QString htmlWrap(QString html, const QJsonObject &attributes)
{
    if (isOn(attributes, QLatin1String("bold")))
        html = QLatin1String("<strong>") + html + QLatin1String("</strong>");
    if (isOn(attributes, QLatin1String("italic")))
        html = QLatin1String("<em>") + html + QLatin1String("</em>");
    if (isOn(attributes, QLatin1String("underline")))
        html = QLatin1String("<u>") + html + QLatin1String("</u>");
    if (isOn(attributes, QLatin1String("strike")))
        html = QLatin1String("<del>") + html + QLatin1String("</del>");
    if (isOn(attributes, QLatin1String("code")))
        html = QLatin1String("<code>") + html + QLatin1String("</code>");
    if (attributes.contains(QLatin1String("link"))) {
        const QString href = attributes.value(QLatin1String("link")).toString().toHtmlEscaped();
        html = QStringLiteral("<a href=\"%1\">%2</a>").arg(href, html);
    }
    return html;
}

struct ParsedTable
{
    QJsonArray rows;
    bool hasHeader = true;
};

std::optional<ParsedTable> parseTable(const QString &tableJson)
{
    const QJsonDocument doc = parseJsonText(tableJson);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject object = doc.object();
    ParsedTable table;
    table.rows = object.value(QLatin1String("cells")).toArray();
    table.hasHeader = object.value(QLatin1String("hasHeader")).toBool(true);
    if (table.rows.isEmpty())
        return std::nullopt;
    return table;
}

QString cellHtml(const QJsonValue &cell)
{
    if (cell.isString())
        return cell.toString().toHtmlEscaped();
    if (!cell.isArray())
        return {};
    QString html;
    for (const QJsonValue &element : cell.toArray()) {
        const QJsonObject op = element.toObject();
        const QJsonValue insert = op.value(QLatin1String("insert"));
        if (!insert.isString() || insert.toString().isEmpty())
            continue;
        const QString text = insert.toString();
        if (text == QLatin1String("\n")) {
            html += QLatin1String("<br>");
            continue;
        }
        QString escaped = text.toHtmlEscaped();
        escaped.replace(QLatin1Char('\n'), QLatin1String("<br>"));
        html += htmlWrap(escaped, op.value(QLatin1String("attributes")).toObject());
    }
    return html;
}

QString markdownCellText(QString text)
{
    text.replace(QLatin1Char('|'), QLatin1String("\\|"));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

QString cellMarkdown(const QJsonValue &cell, bool headerCell)
{
    if (cell.isString())
        return markdownCellText(cell.toString());
    if (!cell.isArray())
        return {};
    QString markdown;
    for (const QJsonValue &element : cell.toArray()) {
        const QJsonObject op = element.toObject();
        const QJsonValue insert = op.value(QLatin1String("insert"));
        if (!insert.isString())
            continue;
        const QString raw = insert.toString();
        if (raw.isEmpty() || raw == QLatin1String("\n"))
            continue;
        const QJsonObject attributes = op.value(QLatin1String("attributes")).toObject();
        QString text = markdownCellText(raw);
        // Cells use their own nesting (code innermost); header cells are bold already.
        if (isOn(attributes, QLatin1String("code")))
            text = QLatin1Char('`') + text + QLatin1Char('`');
        if (isOn(attributes, QLatin1String("bold")) && !headerCell)
            text = QLatin1String("**") + text + QLatin1String("**");
        if (isOn(attributes, QLatin1String("italic")))
            text = QLatin1Char('*') + text + QLatin1Char('*');
        if (isOn(attributes, QLatin1String("strike")))
            text = QLatin1String("~~") + text + QLatin1String("~~");
        if (attributes.contains(QLatin1String("link")))
            text = QStringLiteral("[%1](%2)").arg(text, attributes.value(QLatin1String("link")).toString());
        markdown += text;
    }
    return markdown;
}

enum class MarkdownBlock { Paragraph = 0, Heading = 1, ListItem = 2, CodeLine = 3, Quote = 4, Divider = 5, Start = 6 };

class MarkdownWriter final
{
public:
    void closeLine(const Line &segments, const QJsonObject &attributes)
    {
        const int level = headingLevel(attributes);
        const QString list = attributes.value(QLatin1String("list")).toString();

        // Nothing is marked up inside an indented code block: its text is literal.
        const bool codeLine = level == 0 && list.isEmpty() && attributes.contains(QLatin1String("code-block"));
        QString line;
        for (const Segment &segment : segments)
            line += codeLine ? segment.text : wrap(segment, level > 0);

        if (level > 0) {
            // An empty heading would be a lone run of "#": leave it out.
            if (line.trimmed().isEmpty())
                return;
            writeBlock(QString(level, QLatin1Char('#')) + QLatin1Char(' ') + line, MarkdownBlock::Heading);
        } else if (!list.isEmpty()) {
            if (list == QLatin1String("bullet"))
                line.prepend(QLatin1String("- "));
            else if (list == QLatin1String("ordered"))
                line.prepend(QLatin1String("1. "));
            else if (list == QLatin1String("checked"))
                line.prepend(QLatin1String("- [x] "));
            else if (list == QLatin1String("unchecked"))
                line.prepend(QLatin1String("- [ ] "));
            // Four blanks a level: deep enough under "- " and "1. " alike.
            const int depth = std::clamp(attributes.value(QLatin1String("indent")).toInt(), 0, 8);
            line.prepend(QString(4 * depth, QLatin1Char(' ')));
            writeBlock(line, MarkdownBlock::ListItem);
        } else if (attributes.contains(QLatin1String("code-block"))) {
            writeBlock(QLatin1String("    ") + line, MarkdownBlock::CodeLine);
        } else if (isOn(attributes, QLatin1String("blockquote"))) {
            writeBlock(QLatin1String("> ") + line, MarkdownBlock::Quote);
        } else if (line.trimmed().isEmpty()) {
            blankLine();
        } else {
            writeBlock(line, MarkdownBlock::Paragraph);
        }
    }

    void divider()
    {
        if (m_last == MarkdownBlock::ListItem || m_last == MarkdownBlock::CodeLine)
            ensureBlankLine();
        m_out += QLatin1String("---\n\n");
        m_last = MarkdownBlock::Divider;
    }

    void table(const QString &tableJson)
    {
        if (m_last == MarkdownBlock::ListItem || m_last == MarkdownBlock::CodeLine)
            ensureBlankLine();
        m_out += tableToMarkdown(tableJson) + QLatin1Char('\n');
        m_last = MarkdownBlock::Paragraph;
    }

    QString finish()
    {
        qsizetype end = m_out.size();
        while (end > 0 && (m_out.at(end - 1) == QLatin1Char('\n') || m_out.at(end - 1) == QLatin1Char(' ')))
            --end;
        m_out.truncate(end);
        if (!m_out.isEmpty())
            m_out += QLatin1Char('\n');
        return m_out;
    }

private:
    static QString wrap(const Segment &segment, bool onHeading)
    {
        QString text = segment.text;
        const QJsonObject &a = segment.attributes;
        // Heading text is bold after a round trip through the editor; "**" there is noise.
        if (isOn(a, QLatin1String("bold")) && !onHeading)
            text = QLatin1String("**") + text + QLatin1String("**");
        if (isOn(a, QLatin1String("italic")))
            text = QLatin1Char('*') + text + QLatin1Char('*');
        if (isOn(a, QLatin1String("code")))
            text = QLatin1Char('`') + text + QLatin1Char('`');
        if (isOn(a, QLatin1String("strike")))
            text = QLatin1String("~~") + text + QLatin1String("~~");
        if (a.contains(QLatin1String("link")))
            text = QStringLiteral("[%1](%2)").arg(text, a.value(QLatin1String("link")).toString());
        return text;
    }

    static bool isTight(MarkdownBlock kind)
    {
        return kind == MarkdownBlock::ListItem || kind == MarkdownBlock::CodeLine;
    }

    void writeBlock(const QString &line, MarkdownBlock kind)
    {
        if (isTight(m_last) && kind != m_last)
            ensureBlankLine();
        if (isTight(kind) && !isTight(m_last) && m_last != MarkdownBlock::Start)
            ensureBlankLine();
        m_out += line;
        m_out += isTight(kind) ? QLatin1String("\n") : QLatin1String("\n\n");
        m_last = kind;
    }

    void blankLine()
    {
        if (m_out.endsWith(QLatin1Char('\n'))) {
            if (!m_out.endsWith(QLatin1String("\n\n")))
                m_out += QLatin1Char('\n');
        } else if (!m_out.isEmpty()) {
            m_out += QLatin1String("\n\n");
        }
        m_last = MarkdownBlock::Paragraph;
    }

    void ensureBlankLine()
    {
        if (m_out.isEmpty() || m_out.endsWith(QLatin1String("\n\n")))
            return;
        m_out += m_out.endsWith(QLatin1Char('\n')) ? QLatin1String("\n") : QLatin1String("\n\n");
    }

    QString m_out;
    MarkdownBlock m_last = MarkdownBlock::Start;
};

} // namespace

QString convertBody(const QString &body, ExportFormat format)
{
    if (body.isEmpty())
        return {};
    const QJsonDocument doc = parseJsonText(body);
    if (!doc.isArray())
        return body;
    switch (format) {
    case ExportFormat::Markdown:
        return deltaToMarkdown(doc.array());
    case ExportFormat::Html:
    case ExportFormat::Pdf:
        return deltaToHtml(doc.array());
    case ExportFormat::PlainText:
        break;
    }
    return deltaToPlainText(doc.array());
}

QString deltaToPlainText(const QJsonArray &delta)
{
    QString text;
    for (const DeltaOp &op : parseDelta(delta)) {
        if (op.type == DeltaOp::InsertText)
            text += op.text;
    }
    return text;
}

QString deltaToMarkdown(const QJsonArray &delta)
{
    MarkdownWriter writer;
    DeltaWalker walker;
    walker.closeLine = [&writer](const Line &line, const QJsonObject &attributes) {
        writer.closeLine(line, attributes);
    };
    walker.divider = [&writer] { writer.divider(); };
    walker.table = [&writer](const QString &json) { writer.table(json); };
    walker.walk(delta);
    return writer.finish();
}

QString deltaToHtml(const QJsonArray &delta)
{
    QString html = QStringLiteral("<html><body>\n");
    DeltaWalker walker;
    walker.closeLine = [&html](const Line &line, const QJsonObject &attributes) {
        // A code line's text is code already: no <code> is nested inside its <pre><code>.
        const bool codeLine = !headingLevel(attributes) && !isOn(attributes, QLatin1String("blockquote"))
            && attributes.contains(QLatin1String("code-block"));
        QString inner;
        for (const Segment &segment : line) {
            QJsonObject segmentAttributes = segment.attributes;
            if (codeLine)
                segmentAttributes.remove(QLatin1String("code"));
            inner += htmlWrap(segment.text.toHtmlEscaped(), segmentAttributes);
        }
        if (const int level = headingLevel(attributes)) {
            const QString tag = QString::number(level);
            html += QLatin1String("<h") + tag + QLatin1Char('>') + inner + QLatin1String("</h") + tag
                + QLatin1String(">\n");
        } else if (isOn(attributes, QLatin1String("blockquote"))) {
            html += QLatin1String("<blockquote>") + inner + QLatin1String("</blockquote>\n");
        } else if (codeLine) {
            html += QLatin1String("<pre><code>") + inner + QLatin1String("</code></pre>\n");
        } else {
            html += QLatin1String("<p>") + inner + QLatin1String("</p>\n");
        }
    };
    walker.divider = [&html] { html += QLatin1String("<hr>\n"); };
    walker.table = [&html](const QString &json) { html += tableToHtml(json); };
    walker.walk(delta);
    html += QLatin1String("</body></html>");
    return html;
}

QString inlineHtml(const QString &text, const QJsonObject &attributes)
{
    return htmlWrap(text.toHtmlEscaped(), attributes);
}

QString tableToHtml(const QString &tableJson)
{
    const std::optional<ParsedTable> table = parseTable(tableJson);
    if (!table)
        return {};
    QString html = QStringLiteral(
        "<table border=\"1\" cellpadding=\"6\" cellspacing=\"0\" style=\"border-collapse:collapse\">\n");
    for (qsizetype r = 0; r < table->rows.size(); ++r) {
        html += QLatin1String("  <tr>");
        const bool headerRow = table->hasHeader && r == 0;
        for (const QJsonValue &cell : table->rows.at(r).toArray()) {
            QString inner = cellHtml(cell);
            if (inner.isEmpty())
                inner = QStringLiteral("&nbsp;");
            html += headerRow ? QLatin1String("<th>") + inner + QLatin1String("</th>")
                              : QLatin1String("<td>") + inner + QLatin1String("</td>");
        }
        html += QLatin1String("</tr>\n");
    }
    html += QLatin1String("</table>\n");
    return html;
}

QString tableToMarkdown(const QString &tableJson)
{
    const std::optional<ParsedTable> table = parseTable(tableJson);
    if (!table)
        return {};
    qsizetype columns = 0;
    for (const QJsonValue &row : table->rows)
        columns = std::max(columns, row.toArray().size());
    if (columns == 0)
        return {};

    QString markdown;
    for (qsizetype r = 0; r < table->rows.size(); ++r) {
        const QJsonArray row = table->rows.at(r).toArray();
        const bool headerRow = table->hasHeader && r == 0;
        markdown += QLatin1Char('|');
        for (qsizetype c = 0; c < columns; ++c) {
            const QJsonValue cell = c < row.size() ? row.at(c) : QJsonValue();
            markdown += QLatin1Char(' ') + cellMarkdown(cell, headerRow) + QLatin1String(" |");
        }
        markdown += QLatin1Char('\n');
        if (r == 0) {
            markdown += QLatin1Char('|');
            for (qsizetype c = 0; c < columns; ++c)
                markdown += QLatin1String(" --- |");
            markdown += QLatin1Char('\n');
        }
    }
    return markdown;
}
