#include "markdownsegments.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <algorithm>

namespace {

bool isBlank(QStringView line)
{
    return line.trimmed().isEmpty();
}

// A top-level list item: "-", "*", "+" or up to nine digits with "." or ")",
// at the very start of the line, then a blank or the end of the line.
bool isTopLevelItem(QStringView line)
{
    qsizetype marker = 0;
    if (!line.isEmpty() && (line.at(0) == QLatin1Char('-') || line.at(0) == QLatin1Char('*') || line.at(0) == QLatin1Char('+'))) {
        marker = 1;
    } else {
        while (marker < line.size() && marker < 9 && line.at(marker).isDigit())
            ++marker;
        if (marker == 0 || marker == line.size() || (line.at(marker) != QLatin1Char('.') && line.at(marker) != QLatin1Char(')')))
            return false;
        ++marker;
    }
    return marker == line.size() || line.at(marker) == QLatin1Char(' ') || line.at(marker) == QLatin1Char('\t');
}

// The opening or closing fence of a fenced code block ("```" or "~~~", up to three spaces in).
QStringView fenceOf(QStringView line)
{
    qsizetype indent = 0;
    while (indent < line.size() && indent < 4 && line.at(indent) == QLatin1Char(' '))
        ++indent;
    if (indent > 3 || indent >= line.size())
        return {};
    const QChar c = line.at(indent);
    if (c != QLatin1Char('`') && c != QLatin1Char('~'))
        return {};
    qsizetype end = indent;
    while (end < line.size() && line.at(end) == c)
        ++end;
    return end - indent >= 3 ? line.mid(indent, end - indent) : QStringView();
}

// Elements that may interrupt a paragraph as an HTML block.
bool isBlockTag(QStringView name)
{
    static const QRegularExpression block(QStringLiteral(
        "^(address|article|blockquote|center|details|dialog|dd|div|dl|dt|fieldset|figcaption|figure|form|"
        "h[1-6]|hr|li|main|ol|p|pre|section|table|tbody|td|tfoot|th|thead|tr|ul)$"),
        QRegularExpression::CaseInsensitiveOption);
    return block.match(name).hasMatch();
}

// How an HTML block that starts on a line ends, after the CommonMark rules.
struct HtmlStart
{
    bool starts = false;
    bool interrupts = false; // may interrupt a paragraph
    QLatin1String end;       // the text that ends it; empty: the next blank line
};

// The start of an HTML block, up to three spaces in: "<script", "<pre",
// "<style" or "<textarea" (ending at their closing tag), a comment, "<?",
// "<!X" or CDATA (ending at their terminator), a block element's name, or a
// complete opening or closing tag alone on its line. Anything else that looks
// like a tag ("<a h*#ref>", "<https://...>") is text.
HtmlStart htmlStart(QStringView line)
{
    qsizetype indent = 0;
    while (indent < line.size() && line.at(indent) == QLatin1Char(' '))
        ++indent;
    if (indent > 3 || indent >= line.size() || line.at(indent) != QLatin1Char('<'))
        return {};
    const QStringView text = line.mid(indent);
    static const QRegularExpression raw(QStringLiteral("^<(script|pre|style|textarea)(\\s|>|$)"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch rawMatch = raw.match(text.toString());
    if (rawMatch.hasMatch()) {
        static const QLatin1String ends[] = {QLatin1String("</script>"), QLatin1String("</pre>"), QLatin1String("</style>"),
                                             QLatin1String("</textarea>")};
        const QString name = rawMatch.captured(1).toLower();
        for (const QLatin1String end : ends) {
            if (end.mid(2, end.size() - 3) == name)
                return {true, true, end};
        }
    }
    if (text.startsWith(QLatin1String("<!--")))
        return {true, true, QLatin1String("-->")};
    if (text.startsWith(QLatin1String("<?")))
        return {true, true, QLatin1String("?>")};
    if (text.startsWith(QLatin1String("<![CDATA[")))
        return {true, true, QLatin1String("]]>")};
    if (text.size() > 2 && text.startsWith(QLatin1String("<!")) && text.at(2).isLetter())
        return {true, true, QLatin1String(">")};
    const qsizetype start = text.startsWith(QLatin1String("</")) ? 2 : 1;
    qsizetype end = start;
    while (end < text.size() && (text.at(end).isLetterOrNumber() || text.at(end) == QLatin1Char('-')))
        ++end;
    if (end == start || !text.at(start).isLetter())
        return {};
    if (isBlockTag(text.mid(start, end - start))
        && (end == text.size() || text.at(end).isSpace() || text.at(end) == QLatin1Char('>')
            || text.mid(end).startsWith(QLatin1String("/>"))))
        return {true, true, {}};
    static const QRegularExpression complete(QStringLiteral(
        "^(<[A-Za-z][A-Za-z0-9-]*(\\s+[A-Za-z_:][A-Za-z0-9_.:-]*(\\s*=\\s*([^\\s\"'=<>`]+|'[^']*'|\"[^\"]*\"))?)*\\s*/?>"
        "|</[A-Za-z][A-Za-z0-9-]*\\s*>)\\s*$"));
    if (complete.match(text.toString()).hasMatch())
        return {true, false, {}};
    return {};
}

// Calls visit(piece, isCode) for the parts of a line outside and inside backtick code spans.
template<typename Visit>
void splitCodeSpans(QStringView line, Visit visit)
{
    qsizetype copied = 0;
    qsizetype pos = 0;
    while ((pos = line.indexOf(QLatin1Char('`'), pos)) >= 0) {
        qsizetype run = pos;
        while (run < line.size() && line.at(run) == QLatin1Char('`'))
            ++run;
        const QStringView ticks = line.mid(pos, run - pos);
        qsizetype close = run;
        for (;;) {
            close = line.indexOf(ticks, close);
            if (close < 0 || close + ticks.size() >= line.size() || line.at(close + ticks.size()) != QLatin1Char('`'))
                break;
            while (close < line.size() && line.at(close) == QLatin1Char('`'))
                ++close;
        }
        if (close < 0) {
            pos = run;
            continue;
        }
        visit(line.mid(copied, pos - copied), false);
        visit(line.mid(pos, close + ticks.size() - pos), true);
        copied = pos = close + ticks.size();
    }
    visit(line.mid(copied), false);
}

QString normaliseText(QStringView text)
{
    static const QRegularExpression voidTag(
        QStringLiteral("<(area|base|br|col|embed|hr|img|input|link|meta|param|source|track|wbr)\\b([^<>]*?)\\s*/?>"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression emptyAlt(QStringLiteral("!\\[\\s*\\]\\("));
    // The reader emits the image once per piece of a marked-up alt text; an embed keeps no alt text anyway.
    static const QRegularExpression alt(QStringLiteral("!\\[((?:[^\\[\\]\\n]|\\\\.|\\[[^\\[\\]\\n]*\\])*)\\]\\("));
    // A rule inside a paragraph ends the reader's paragraph and the words after it with it.
    static const QRegularExpression rule(QStringLiteral("<hr\\b[^<>]*>"), QRegularExpression::CaseInsensitiveOption);
    // A newline written as an entity is white space, as in HTML; the reader drops it.
    static const QRegularExpression newlineEntity(QStringLiteral("&#(?:0*1[03]|[xX]0*[aAdD]);"));
    QString out = text.toString();
    out.replace(newlineEntity, QStringLiteral(" "));
    out.replace(rule, QStringLiteral("<br>"));
    out.replace(voidTag, QStringLiteral("<\\1\\2 />"));
    out.replace(emptyAlt, QStringLiteral("![image]("));
    QString plainAlts;
    qsizetype copied = 0;
    for (auto it = alt.globalMatch(out); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        static const QRegularExpression markup(QStringLiteral("[*_`\\\\\\[<]"));
        if (!m.captured(1).contains(markup))
            continue;
        plainAlts += QStringView(out).mid(copied, m.capturedStart() - copied);
        plainAlts += QLatin1String("![image](");
        copied = m.capturedEnd();
    }
    if (copied > 0)
        out = plainAlts + out.mid(copied);
    return out;
}

// Qt's reader holds back all text that follows an inline HTML tag until as
// many tags have closed as opened (it counts tags, it does not match names),
// so one unclosed <span> or a stray </b> hides the rest of the note. Each line
// (and each table cell) is made to balance on its own: tags still open are
// closed at its end, stray closing tags and markup that is no element
// (comments, declarations) are dropped. Formatting that spans lines ends at
// the line end; no text is lost.
class InlineHtmlBalancer final
{
public:
    void add(QStringView piece, QString *out)
    {
        static const QRegularExpression token(QStringLiteral(
            "<(?:([A-Za-z][A-Za-z0-9-]*)(?:\\s+[A-Za-z_:][A-Za-z0-9_.:-]*(?:\\s*=\\s*(?:[^\\s\"'=<>`]+|'[^']*'|\"[^\"]*\"))?)*"
            "\\s*(/?)>|/([A-Za-z][A-Za-z0-9-]*)\\s*>|!--->|!-->|!--.*?-->|\\?.*?\\?>|![A-Za-z][^>]*>|!\\[CDATA\\[.*?\\]\\]>|(!--))"));
        const QString text = piece.toString();
        qsizetype copied = 0;
        for (qsizetype pos = 0; pos < text.size(); ++pos) {
            const QChar c = text.at(pos);
            if (c == QLatin1Char('\\')) {
                ++pos; // an escaped character is text
                continue;
            }
            if (c == QLatin1Char('|')) {
                out->append(QStringView(text).mid(copied, pos - copied));
                copied = pos;
                closeAll(out);
                continue;
            }
            if (c != QLatin1Char('<'))
                continue;
            const QRegularExpressionMatch m = token.match(text, pos, QRegularExpression::NormalMatch,
                                                          QRegularExpression::AnchorAtOffsetMatchOption);
            if (!m.hasMatch())
                continue;
            out->append(QStringView(text).mid(copied, pos - copied));
            copied = m.capturedEnd();
            if (isStructural(m.capturedView(1)) || isStructural(m.capturedView(3))) {
                // Read inline, the HTML reader would hide or drop the text they hold.
            } else if (m.capturedLength(1) > 0) {
                out->append(m.capturedView(0));
                if (m.capturedLength(2) == 0)
                    m_open.append(m.captured(1).toLower());
            } else if (m.capturedLength(3) > 0) {
                const qsizetype open = m_open.lastIndexOf(m.captured(3).toLower());
                if (open >= 0) {
                    m_open.removeAt(open);
                    out->append(m.capturedView(0));
                }
            } else if (m.capturedLength(4) > 0) {
                out->append(QLatin1String("&lt;!--")); // a comment never closed is text
            }
            pos = copied - 1;
        }
        out->append(QStringView(text).mid(copied));
    }

    // Closes what is open before the line's trailing blanks or hard-break backslash.
    void endLine(QString *out)
    {
        if (m_open.isEmpty())
            return;
        qsizetype end = out->size();
        while (end > 0 && out->at(end - 1) != QLatin1Char('\n')
               && (out->at(end - 1).isSpace() || out->at(end - 1) == QLatin1Char('\\')))
            --end;
        QString closers;
        closeAll(&closers);
        out->insert(end, closers);
    }

private:
    static bool isStructural(QStringView name)
    {
        static const QRegularExpression structural(
            QStringLiteral("^(html|head|body|title|table|caption|colgroup|thead|tbody|tfoot|tr|td|th|ul|ol|li|dl|dt|dd)$"),
            QRegularExpression::CaseInsensitiveOption);
        return !name.isEmpty() && structural.match(name).hasMatch();
    }

    void closeAll(QString *out)
    {
        while (!m_open.isEmpty())
            out->append(QLatin1String("</") + m_open.takeLast() + QLatin1Char('>'));
    }

    QStringList m_open;
};

// A line's container marks: leading blanks, "> " quote marks, a list item's marker.
struct LineShape
{
    qsizetype indent = 0;
    qsizetype content = 0; // where the text starts after the marks
    bool quoted = false;
    bool item = false;
};

LineShape shapeOf(QStringView line)
{
    LineShape shape;
    qsizetype pos = 0;
    const auto skipBlanks = [&] {
        while (pos < line.size() && (line.at(pos) == QLatin1Char(' ') || line.at(pos) == QLatin1Char('\t')))
            ++pos;
    };
    skipBlanks();
    shape.indent = pos;
    while (pos < line.size() && line.at(pos) == QLatin1Char('>')) {
        shape.quoted = true;
        ++pos;
        skipBlanks();
    }
    if (isTopLevelItem(line.mid(pos))) {
        shape.item = true;
        while (pos < line.size() && !line.at(pos).isSpace())
            ++pos;
        skipBlanks();
    }
    shape.content = pos;
    return shape;
}

// Qt's reader loses or merges text around block HTML and headings inside a
// quote or list item (the note format has neither there anyway): block tags
// become blanks, a heading becomes the item's text on a line of its own.
QString flattenContainerLine(QStringView line, const LineShape &shape, bool inList, bool previousBlank,
                             bool *blankAfter)
{
    const bool contained = shape.quoted || shape.item || (inList && shape.indent > 0);
    if (!contained)
        return line.toString();
    QStringView content = line.mid(shape.content);
    static const QRegularExpression underline(QStringLiteral("^(=+|-{2,})\\s*$"));
    if (!shape.item && !shape.quoted && !previousBlank && underline.match(content).hasMatch()) {
        *blankAfter = false;
        return QString(); // the heading's text stays the item's paragraph
    }
    QString out = line.left(shape.content).toString();
    qsizetype hashes = 0;
    while (hashes < content.size() && hashes < 7 && content.at(hashes) == QLatin1Char('#'))
        ++hashes;
    if (hashes >= 1 && hashes <= 6 && (hashes == content.size() || content.at(hashes).isSpace())) {
        content = content.mid(hashes).trimmed();
        *blankAfter = true;
    }
    static const QRegularExpression blockTag(QStringLiteral("</?([A-Za-z][A-Za-z0-9]*)(?=[\\s/>])[^<>]*>"));
    qsizetype copied = 0;
    for (auto it = blockTag.globalMatch(content); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (!isBlockTag(m.capturedView(1)))
            continue;
        out += content.mid(copied, m.capturedStart() - copied);
        out += QLatin1Char(' ');
        copied = m.capturedEnd();
    }
    out += content.mid(copied);
    return out;
}

} // namespace

QList<MarkdownSegment> markdownSegments(const QString &markdown)
{
    QList<MarkdownSegment> segments;
    const QStringView all(markdown);
    qsizetype segmentStart = 0;
    const auto cut = [&](qsizetype at, bool html) {
        if (at > segmentStart)
            segments.append({all.mid(segmentStart, at - segmentStart), html});
        segmentStart = at;
    };
    qsizetype lineStart = 0;
    int items = 0;
    QStringView fence;
    bool inHtmlBlock = false;
    QLatin1String htmlEnd; // what ends the open HTML block; empty: a blank line
    bool previousBlank = true;
    bool lastTextWasItem = false;
    bool inList = false;
    while (lineStart < all.size()) {
        qsizetype lineEnd = all.indexOf(QLatin1Char('\n'), lineStart);
        if (lineEnd < 0)
            lineEnd = all.size();
        QStringView line = all.mid(lineStart, lineEnd - lineStart);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);

        const QStringView lineFence = fenceOf(line);
        const LineShape shape = shapeOf(line);
        if (shape.item)
            inList = true;
        else if (!isBlank(line) && previousBlank && shape.indent == 0)
            inList = false;
        // An indented tag under a list item belongs to the item, not to an HTML block.
        const bool continuation = inList && !shape.item && shape.indent > 0;
        const HtmlStart html = fence.isEmpty() && !inHtmlBlock && !continuation ? htmlStart(line) : HtmlStart();
        if (!fence.isEmpty()) {
            if (!lineFence.isEmpty() && lineFence.at(0) == fence.at(0) && lineFence.size() >= fence.size()
                && line.trimmed().size() == lineFence.size())
                fence = {};
            lastTextWasItem = false;
        } else if (inHtmlBlock) {
            if (htmlEnd.size() > 0 ? line.contains(htmlEnd, Qt::CaseInsensitive) : isBlank(line)) {
                inHtmlBlock = false;
                cut(htmlEnd.size() > 0 ? std::min(lineEnd + 1, all.size()) : lineStart, true);
            }
        } else if (!lineFence.isEmpty()) {
            fence = lineFence;
            lastTextWasItem = false;
        } else if (html.starts && (previousBlank || html.interrupts)) {
            cut(lineStart, false);
            htmlEnd = html.end;
            // A raw block may end on the line it starts on.
            const QStringView rest = line.mid(line.indexOf(QLatin1Char('<')) + 1);
            if (htmlEnd.size() > 0 && rest.contains(htmlEnd, Qt::CaseInsensitive))
                cut(std::min(lineEnd + 1, all.size()), true);
            else
                inHtmlBlock = true;
            items = 0;
            lastTextWasItem = false;
        } else if (!isBlank(line)) {
            const bool item = isTopLevelItem(line);
            if (item) {
                if (lastTextWasItem && items >= kMaxListItems) {
                    cut(lineStart, false);
                    items = 0;
                }
                ++items;
            }
            lastTextWasItem = item;
        }
        previousBlank = isBlank(line);
        lineStart = lineEnd + 1;
    }
    cut(all.size(), inHtmlBlock);
    return segments;
}

QString normaliseMarkdown(QStringView markdown)
{
    QString out;
    out.reserve(markdown.size() + 16);
    QStringView fence;
    bool first = true;
    bool inList = false;
    bool previousBlank = true;
    bool previousCode = false;
    bool blankAfter = false;
    for (QStringView line : markdown.split(QLatin1Char('\n'))) {
        if (!first)
            out += QLatin1Char('\n');
        first = false;
        const QStringView lineFence = fenceOf(line);
        if (!fence.isEmpty() || !lineFence.isEmpty()) {
            if (fence.isEmpty())
                fence = lineFence;
            else if (!lineFence.isEmpty() && lineFence.at(0) == fence.at(0) && lineFence.size() >= fence.size())
                fence = {};
            out += line;
            previousBlank = previousCode = false;
            continue;
        }
        const bool blank = isBlank(line);
        const LineShape shape = shapeOf(line);
        if (blankAfter && !blank)
            out += QLatin1Char('\n');
        blankAfter = false;
        if (shape.item)
            inList = true;
        else if (!blank && previousBlank && shape.indent == 0)
            inList = false;
        // Indented code is literal.
        const bool code = !inList && !shape.quoted && shape.indent >= 4 && (previousBlank || previousCode);
        previousCode = code;
        if (code || blank) {
            out += line;
            previousBlank = blank;
            continue;
        }
        const QString flat = flattenContainerLine(line, shape, inList, previousBlank, &blankAfter);
        previousBlank = false;
        InlineHtmlBalancer balancer;
        splitCodeSpans(flat, [&](QStringView piece, bool isCode) {
            if (isCode)
                out += piece;
            else
                balancer.add(normaliseText(piece), &out);
        });
        balancer.endLine(&out);
    }
    return out;
}
