#include "deltaimport.h"

#include "delta.h"
#include "deltatable.h"
#include "htmlrepair.h"
#include "markdownsegments.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QStringView>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextList>
#include <QTextTable>

#include <algorithm>
#include <array>

namespace {

QJsonObject lineEnd(const QJsonObject &attributes = {})
{
    QJsonObject op{{QStringLiteral("insert"), QStringLiteral("\n")}};
    if (!attributes.isEmpty())
        op.insert(QStringLiteral("attributes"), attributes);
    return op;
}

QJsonArray emptyDocument()
{
    return QJsonArray{lineEnd()};
}

// Removes every element matched by
//   <(script|style|nav|header|footer|aside|iframe|noscript)[^>]*>.*?</\1>
// case-insensitively and across lines, with the same result as that pattern
// applied left to right. Written as a scanner because a backtracking engine
// rescans to the end of the text from every unclosed opening tag, which makes
// pasted text full of "<script>" without a closing tag quadratic. Here every
// search for a closing tag or a ">" is remembered, so the text is read a
// bounded number of times.
class HiddenElementRemover final
{
public:
    explicit HiddenElementRemover(const QString &html)
        : m_html(html)
    {
        m_closing.fill({-1, -2});
    }

    QString run()
    {
        QString out;
        qsizetype copied = 0;
        qsizetype pos = 0;
        for (;;) {
            const qsizetype open = m_html.indexOf(QLatin1Char('<'), pos);
            if (open < 0)
                break;
            pos = open + 1;
            const int which = nameAt(open + 1);
            if (which < 0)
                continue;
            const qsizetype gt = nextGreaterThan(open + 1 + kNames[which].size());
            if (gt < 0)
                break; // no ">" left: no opening tag can complete any more
            const qsizetype close = nextClosing(which, gt + 1);
            if (close < 0)
                continue;
            out += QStringView(m_html).mid(copied, open - copied);
            copied = close + kNames[which].size() + 3; // "</" name ">"
            pos = copied;
        }
        if (copied == 0)
            return m_html;
        out += QStringView(m_html).mid(copied);
        return out;
    }

private:
    static constexpr std::array<QLatin1String, 8> kNames = {
        QLatin1String("script"), QLatin1String("style"), QLatin1String("nav"),   QLatin1String("header"),
        QLatin1String("footer"), QLatin1String("aside"), QLatin1String("iframe"), QLatin1String("noscript")};

    struct Search
    {
        qsizetype found; // first hit at or after `from`, -1 when there is none
        qsizetype from;  // -2: not searched yet
    };

    int nameAt(qsizetype index) const
    {
        const QStringView rest = QStringView(m_html).mid(index);
        for (int i = 0; i < int(kNames.size()); ++i) {
            if (rest.startsWith(kNames[i], Qt::CaseInsensitive))
                return i;
        }
        return -1;
    }

    // Searches move forward only, so a remembered hit at or after `from` is
    // still the first one, and "none after an earlier point" stays true.
    static bool reuse(const Search &search, qsizetype from)
    {
        return search.from != -2 && search.from <= from && (search.found < 0 || search.found >= from);
    }

    qsizetype nextGreaterThan(qsizetype from)
    {
        if (!reuse(m_gt, from))
            m_gt = {m_html.indexOf(QLatin1Char('>'), from), from};
        return m_gt.found;
    }

    qsizetype nextClosing(int which, qsizetype from)
    {
        Search &search = m_closing[which];
        if (!reuse(search, from)) {
            const QString tag = QLatin1String("</") + kNames[which] + QLatin1Char('>');
            search = {m_html.indexOf(tag, from, Qt::CaseInsensitive), from};
        }
        return search.found;
    }

    const QString &m_html;
    Search m_gt{-1, -2};
    std::array<Search, kNames.size()> m_closing;
};

// The table that owns a block, or null. For a table nested in a table cell
// this is the outer one: its cells already carry the inner text, and
// writing the inner table again would duplicate it.
QTextTable *outermostTable(const QTextBlock &block)
{
    QTextTable *table = nullptr;
    for (QTextFrame *frame = QTextCursor(block).currentFrame(); frame; frame = frame->parentFrame()) {
        if (auto *candidate = qobject_cast<QTextTable *>(frame))
            table = candidate;
    }
    return table;
}

QJsonObject tableEmbed(QTextTable *table)
{
    QJsonArray rows;
    for (int r = 0; r < table->rows(); ++r) {
        QJsonArray row;
        for (int c = 0; c < table->columns(); ++c) {
            const QTextTableCell cell = table->cellAt(r, c);
            // A spanned cell answers for every position it covers; its text belongs to the first.
            const bool covered = !cell.isValid() || cell.row() != r || cell.column() != c;
            row.append(covered ? QJsonArray() : cellToDelta(cell));
        }
        rows.append(row);
    }
    const QJsonObject object{{QStringLiteral("cells"), rows}, {QStringLiteral("hasHeader"), table->rows() > 0}};
    const QString json = compactJson(object);
    return QJsonObject{{QStringLiteral("insert"), QJsonObject{{QLatin1String(kTableEmbedKind), json}}}};
}

// Qt's HTML reader gives <code>, <tt>, <pre> and backtick spans a monospace
// family but never sets fixed pitch.
bool isMonospace(const QTextCharFormat &format)
{
    if (format.fontFixedPitch())
        return true;
    static const QRegularExpression mono(QStringLiteral("mono|courier|consolas|menlo|fixed"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QStringList families = format.fontFamilies().toStringList();
    return std::any_of(families.cbegin(), families.cend(),
                       [](const QString &family) { return mono.match(family).hasMatch(); });
}

QJsonObject inlineAttributes(const QTextCharFormat &format)
{
    QJsonObject attributes;
    if (format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= 700)
        attributes.insert(QStringLiteral("bold"), true);
    if (format.fontItalic())
        attributes.insert(QStringLiteral("italic"), true);
    if (format.fontUnderline() && !format.isAnchor())
        attributes.insert(QStringLiteral("underline"), true);
    if (format.fontStrikeOut())
        attributes.insert(QStringLiteral("strike"), true);
    if (isMonospace(format))
        attributes.insert(QStringLiteral("code"), true);
    if (format.isAnchor() && !format.anchorHref().isEmpty())
        attributes.insert(QStringLiteral("link"), format.anchorHref());
    return attributes;
}

// A Markdown code line's block state on its way through HTML.
constexpr int kCodeLineState = 0x7c0de;

QJsonObject lineAttributes(const QTextBlock &block)
{
    QJsonObject attributes;
    const int level = block.blockFormat().headingLevel();
    if (level >= 1 && level <= 6)
        attributes.insert(QStringLiteral("header"), level);
    if (const QTextList *list = block.textList()) {
        switch (list->format().style()) {
        case QTextListFormat::ListDecimal:
        case QTextListFormat::ListLowerAlpha:
        case QTextListFormat::ListUpperAlpha:
        case QTextListFormat::ListLowerRoman:
        case QTextListFormat::ListUpperRoman:
            attributes.insert(QStringLiteral("list"), QStringLiteral("ordered"));
            break;
        case QTextListFormat::ListDisc:
        case QTextListFormat::ListCircle:
        case QTextListFormat::ListSquare:
            attributes.insert(QStringLiteral("list"), QStringLiteral("bullet"));
            break;
        default:
            break;
        }
        if (block.blockFormat().marker() == QTextBlockFormat::MarkerType::Checked)
            attributes.insert(QStringLiteral("list"), QStringLiteral("checked"));
        else if (block.blockFormat().marker() == QTextBlockFormat::MarkerType::Unchecked)
            attributes.insert(QStringLiteral("list"), QStringLiteral("unchecked"));
        // A list inside an item is one level deeper than the item's.
        if (list->format().indent() > 1 && attributes.contains(QStringLiteral("list")))
            attributes.insert(QStringLiteral("indent"), list->format().indent() - 1);
    } else if ((block.blockFormat().nonBreakableLines() || block.userState() == kCodeLineState) && level == 0) {
        attributes.insert(QStringLiteral("code-block"), true);
    }
    return attributes;
}

void appendBlock(QJsonArray &out, const QTextBlock &block)
{
    const QJsonObject lineFormat = lineAttributes(block);
    // Preformatted text keeps its lines; elsewhere a <br> stays a break inside the line.
    const bool preformatted = block.blockFormat().nonBreakableLines();
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid())
            continue;
        const QTextCharFormat format = fragment.charFormat();
        if (format.isImageFormat()) {
            const QString name = format.toImageFormat().name();
            if (name.isEmpty())
                continue;
            const QLatin1String kind = name.startsWith(QLatin1String(kAttachmentUrlPrefix))
                ? QLatin1String(kAttachmentEmbedKind)
                : QLatin1String(kImageEmbedKind);
            const QJsonObject embed{{QStringLiteral("insert"), QJsonObject{{kind, name}}}};
            // Identical neighbouring images share one fragment: one embed per object character.
            const qsizetype count = std::max<qsizetype>(1, fragment.text().count(QChar::ObjectReplacementCharacter));
            for (qsizetype i = 0; i < count; ++i)
                out.append(embed);
            continue;
        }
        QString text = fragment.text();
        text.remove(QChar::ObjectReplacementCharacter);
        if (text.isEmpty())
            continue;
        QJsonObject attributes = inlineAttributes(format);
        if (lineFormat.contains(QLatin1String("code-block")))
            attributes.remove(QLatin1String("code")); // a code line's text is code already
        const QStringList lines = preformatted ? text.split(QChar::LineSeparator) : QStringList{text};
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                out.append(lineEnd(lineFormat));
            if (lines.at(i).isEmpty())
                continue;
            QJsonObject op{{QStringLiteral("insert"), lines.at(i)}};
            if (!attributes.isEmpty())
                op.insert(QStringLiteral("attributes"), attributes);
            out.append(op);
        }
    }
    out.append(lineEnd(lineFormat));
}

const QRegularExpression &orderedItemPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d+)\\.\\s+(.*)$"));
    return pattern;
}

// "**" toggles bold and "*" italic; the text between toggles is one run.
void appendInlineRuns(QJsonArray &out, QStringView text)
{
    bool bold = false;
    bool italic = false;
    QString run;
    const auto flush = [&] {
        if (run.isEmpty())
            return;
        QJsonObject op{{QStringLiteral("insert"), run}};
        QJsonObject attributes;
        if (bold)
            attributes.insert(QStringLiteral("bold"), true);
        if (italic)
            attributes.insert(QStringLiteral("italic"), true);
        if (!attributes.isEmpty())
            op.insert(QStringLiteral("attributes"), attributes);
        out.append(op);
        run.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('*')) {
            run += text.at(i);
            continue;
        }
        flush();
        if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('*')) {
            bold = !bold;
            ++i;
        } else {
            italic = !italic;
        }
    }
    flush();
}



bool startsWithTag(QStringView rest, QLatin1String name)
{
    return rest.startsWith(name, Qt::CaseInsensitive)
        && (rest.size() == name.size() || !rest.at(name.size()).isLetterOrNumber());
}

// Closes a long <ul>/<ol> and opens it again with its own opening tag every
// kMaxListItems items.
QString splitLongHtmlLists(const QString &html)
{
    struct OpenList
    {
        QString openingTag;
        QString name;
        int items = 0;
    };
    QList<OpenList> open;
    QString out;
    qsizetype copied = 0;
    qsizetype pos = 0;
    while ((pos = html.indexOf(QLatin1Char('<'), pos)) >= 0) {
        const QStringView rest = QStringView(html).mid(pos + 1);
        if (startsWithTag(rest, QLatin1String("ul")) || startsWithTag(rest, QLatin1String("ol"))) {
            const qsizetype gt = html.indexOf(QLatin1Char('>'), pos);
            if (gt < 0)
                break;
            open.append({html.mid(pos, gt - pos + 1), rest.left(2).toString().toLower(), 0});
            pos = gt + 1;
            continue;
        }
        if (startsWithTag(rest, QLatin1String("/ul")) || startsWithTag(rest, QLatin1String("/ol"))) {
            const QString name = rest.mid(1, 2).toString().toLower();
            for (qsizetype i = open.size() - 1; i >= 0; --i) {
                if (open.at(i).name == name) {
                    open.resize(i);
                    break;
                }
            }
        } else if (startsWithTag(rest, QLatin1String("li")) && !open.isEmpty()) {
            OpenList &list = open.last();
            if (list.items == kMaxListItems) {
                out += QStringView(html).mid(copied, pos - copied);
                out += QLatin1String("</") + list.name + QLatin1Char('>') + list.openingTag;
                copied = pos;
                list.items = 0;
            }
            ++list.items;
        }
        ++pos;
    }
    if (copied == 0)
        return html;
    out += QStringView(html).mid(copied);
    return out;
}

// Qt's reader hides everything after a <script> or <style> that is never
// closed, but looks for the closing tag again from every such opening tag.
// Text with many of them is cut at the first one: the same visible result,
// without rescanning the rest of the text thousands of times.
QString cutAtUnclosedScripts(const QString &html)
{
    constexpr int kTolerated = 16;
    qsizetype cut = html.size();
    for (const QLatin1String name : {QLatin1String("script"), QLatin1String("style")}) {
        const qsizetype lastClose = html.lastIndexOf(QLatin1String("</") + name, -1, Qt::CaseInsensitive);
        qsizetype first = -1;
        int count = 0;
        for (qsizetype pos = std::max<qsizetype>(0, lastClose); count <= kTolerated;) {
            pos = html.indexOf(QLatin1Char('<') + name, pos, Qt::CaseInsensitive);
            if (pos < 0)
                break;
            const qsizetype after = pos + 1 + name.size();
            if (after == html.size() || !html.at(after).isLetterOrNumber()) {
                if (first < 0)
                    first = pos;
                ++count;
            }
            pos = after;
        }
        if (count > kTolerated)
            cut = std::min(cut, first);
    }
    return cut == html.size() ? html : html.left(cut);
}

// Qt's style resolution walks all ancestors of every element, which makes
// deeply nested markup superlinear (4000 nested inline tags take seconds,
// ten thousand take minutes). Elements nested deeper than this lose their tags,
// opening and closing, and keep their text. Elements that close implicitly
// or never (p, li, td, br, img, ...) do not count as nesting.
constexpr int kMaxHtmlDepth = 200;

bool isFlatElement(QStringView name)
{
    static const QLatin1String flat[] = {
        QLatin1String("area"),  QLatin1String("base"),     QLatin1String("br"),     QLatin1String("col"),
        QLatin1String("colgroup"), QLatin1String("dd"),    QLatin1String("dt"),     QLatin1String("embed"),
        QLatin1String("hr"),    QLatin1String("img"),      QLatin1String("input"),  QLatin1String("li"),
        QLatin1String("link"),  QLatin1String("meta"),     QLatin1String("option"), QLatin1String("optgroup"),
        QLatin1String("p"),     QLatin1String("param"),    QLatin1String("rp"),     QLatin1String("rt"),
        QLatin1String("source"), QLatin1String("tbody"),   QLatin1String("td"),     QLatin1String("tfoot"),
        QLatin1String("th"),    QLatin1String("thead"),    QLatin1String("tr"),     QLatin1String("track"),
        QLatin1String("wbr")};
    for (const QLatin1String &candidate : flat) {
        if (name.compare(candidate, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString limitHtmlNesting(const QString &html)
{
    QString out;
    qsizetype copied = 0;
    qsizetype pos = 0;
    qsizetype nextGt = -1; // first ">" at or after the last search point
    int depth = 0;
    const qsizetype size = html.size();
    while ((pos = html.indexOf(QLatin1Char('<'), pos)) >= 0) {
        const bool closing = pos + 1 < size && html.at(pos + 1) == QLatin1Char('/');
        const qsizetype nameStart = pos + (closing ? 2 : 1);
        if (nameStart >= size || !html.at(nameStart).isLetter()) {
            ++pos;
            continue;
        }
        qsizetype nameEnd = nameStart;
        while (nameEnd < size && html.at(nameEnd).isLetterOrNumber())
            ++nameEnd;
        if (nextGt < nameEnd)
            nextGt = html.indexOf(QLatin1Char('>'), nameEnd);
        if (nextGt < 0)
            break;
        const qsizetype gt = nextGt;
        const bool selfClosing = html.at(gt - 1) == QLatin1Char('/');
        if (!selfClosing && !isFlatElement(QStringView(html).mid(nameStart, nameEnd - nameStart))) {
            bool drop = false;
            if (closing) {
                drop = depth > kMaxHtmlDepth;
                depth = std::max(0, depth - 1);
            } else {
                ++depth;
                drop = depth > kMaxHtmlDepth;
            }
            if (drop) {
                out += QStringView(html).mid(copied, pos - copied);
                copied = gt + 1;
            }
        }
        pos = gt + 1;
    }
    if (copied == 0)
        return html;
    out += QStringView(html).mid(copied);
    return out;
}

} // namespace

QJsonArray htmlToDelta(const QString &html)
{
    if (html.trimmed().isEmpty())
        return emptyDocument();

    QTextDocument document;
    const QString cleaned = repairHtml(cutAtUnclosedScripts(removeHiddenHtmlElements(html)));
    document.setHtml(splitLongHtmlLists(limitHtmlNesting(cleaned)));

    QJsonArray out;
    QSet<QTextTable *> written;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (QTextTable *table = outermostTable(block)) {
            if (!written.contains(table)) {
                written.insert(table);
                out.append(tableEmbed(table));
                out.append(lineEnd());
            }
            continue;
        }
        appendBlock(out, block);
    }
    return out.isEmpty() ? emptyDocument() : out;
}

QString removeHiddenHtmlElements(const QString &html)
{
    return HiddenElementRemover(html).run();
}

QJsonArray markdownToDelta(const QString &markdown)
{
    if (markdown.trimmed().isEmpty())
        return emptyDocument();
    // Without the underline extension "_a_" and "__a__" are emphasis, as everywhere else.
    constexpr int kUnderlineFeature = 0x4000;
    const auto features = QTextDocument::MarkdownFeatures(QTextDocument::MarkdownDialectGitHub & ~kUnderlineFeature);
    QJsonArray out;
    for (const MarkdownSegment &segment : markdownSegments(markdown)) {
        QString html;
        if (segment.html) {
            html = segment.text.trimmed().toString();
        } else {
            QTextDocument document;
            document.setMarkdown(normaliseMarkdown(segment.text), features);
            // Indented code reaches the HTML as paragraphs, fenced code as <pre> the
            // rich-text reader does not keep: the block state carries the mark across.
            for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
                if (block.blockFormat().hasProperty(QTextFormat::BlockCodeLanguage))
                    block.setUserState(kCodeLineState);
            }
            html = document.toHtml();
        }
        for (const QJsonValue &op : htmlToDelta(html))
            out.append(op);
    }
    return out;
}

QString simpleMarkdownToDelta(const QString &markdown)
{
    QList<QStringView> lines = QStringView(markdown).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();

    struct Prefix
    {
        QLatin1String text;
        const char *key;
        QJsonValue value;
    };
    static const Prefix prefixes[] = {
        {QLatin1String("### "), "header", 3},
        {QLatin1String("## "), "header", 2},
        {QLatin1String("# "), "header", 1},
        {QLatin1String("- [ ] "), "list", QStringLiteral("unchecked")},
        {QLatin1String("- [x] "), "list", QStringLiteral("checked")},
        {QLatin1String("- [X] "), "list", QStringLiteral("checked")},
        {QLatin1String("- "), "list", QStringLiteral("bullet")},
        {QLatin1String("* "), "list", QStringLiteral("bullet")},
        {QLatin1String("> "), "blockquote", true},
    };

    QJsonArray out;
    for (QStringView line : lines) {
        QJsonObject attributes;
        QStringView rest = line;
        bool matched = false;
        for (const Prefix &prefix : prefixes) {
            if (line.startsWith(prefix.text)) {
                attributes.insert(QLatin1String(prefix.key), prefix.value);
                rest = line.mid(prefix.text.size());
                matched = true;
                break;
            }
        }
        QString ordered;
        if (!matched) {
            const QRegularExpressionMatch match = orderedItemPattern().match(line.toString());
            if (match.hasMatch()) {
                attributes.insert(QStringLiteral("list"), QStringLiteral("ordered"));
                ordered = match.captured(2);
                rest = ordered;
            }
        }
        appendInlineRuns(out, rest);
        out.append(lineEnd(attributes));
    }
    // Nothing to read still makes a valid body: the single empty line.
    if (out.isEmpty())
        out = emptyDocument();
    return deltaToJson(out);
}
