#include "htmlrepair.h"

#include <QList>
#include <QStringView>

#include <algorithm>

namespace {

struct Tag
{
    qsizetype end = -1; // one past the ">"; -1: no tag here
    QStringView name;   // lower case is not guaranteed
    bool closing = false;
};

// The tag starting at pos ("<" then a letter, or "</" then a letter), its
// attributes read with their quotes so a ">" inside one does not end it.
Tag tagAt(const QString &html, qsizetype pos)
{
    Tag tag;
    qsizetype i = pos + 1;
    if (i < html.size() && html.at(i) == QLatin1Char('/')) {
        tag.closing = true;
        ++i;
    }
    const qsizetype nameStart = i;
    while (i < html.size() && (html.at(i).isLetterOrNumber() || html.at(i) == QLatin1Char('-')
                               || html.at(i) == QLatin1Char(':')))
        ++i;
    if (i == nameStart || !html.at(nameStart).isLetter())
        return tag;
    tag.name = QStringView(html).mid(nameStart, i - nameStart);
    QChar quote;
    for (; i < html.size(); ++i) {
        const QChar c = html.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            // A quote opens a value only after "="; elsewhere it is a stray character.
            qsizetype before = i - 1;
            while (before > pos && html.at(before).isSpace())
                --before;
            if (html.at(before) == QLatin1Char('='))
                quote = c;
        } else if (c == QLatin1Char('>')) {
            tag.end = i + 1;
            return tag;
        }
    }
    return tag;
}

bool is(QStringView name, const char *what)
{
    return name.compare(QLatin1String(what), Qt::CaseInsensitive) == 0;
}

bool isBlock(QStringView name)
{
    for (const char *block : {"address", "article", "blockquote", "center", "dd", "div", "dl", "dt", "figure", "h1", "h2",
                              "h3", "h4", "h5", "h6", "hr", "li", "ol", "p", "pre", "section", "ul"}) {
        if (is(name, block))
            return true;
    }
    return false;
}

} // namespace

QString repairHtml(const QString &html)
{
    QString out;
    out.reserve(html.size() + 64);
    // The open tables, innermost last. A table inside another one is read
    // flat: a cell keeps text, not a table.
    struct OpenTable
    {
        bool flat = false;
        bool inCell = false;
    };
    QList<OpenTable> tables;
    // Text after a closed block inside a block that is still open ("<div>a<div>b</div>c")
    // would join the inner block's last line; it gets a block of its own up to the next block tag.
    bool afterBlock = false;
    bool wrapped = false;
    qsizetype copied = 0;
    const auto copyText = [&](qsizetype to) {
        if (to <= copied)
            return;
        const QStringView text = QStringView(html).mid(copied, to - copied);
        if (!tables.isEmpty() && !tables.last().flat && !tables.last().inCell && !text.trimmed().isEmpty()) {
            out += QLatin1String("<tr><td>");
            tables.last().inCell = true;
        }
        if (afterBlock && tables.isEmpty() && !text.trimmed().isEmpty()) {
            out += QLatin1String("<div>");
            wrapped = true;
            afterBlock = false;
        }
        out += text;
        copied = to;
    };
    const auto replace = [&](qsizetype from, qsizetype to, QLatin1String with) {
        copyText(from);
        out += with;
        copied = to;
    };
    qsizetype pos = 0;
    while ((pos = html.indexOf(QLatin1Char('<'), pos)) >= 0) {
        if (QStringView(html).mid(pos, 4) == QLatin1String("<!--")) {
            // "<!-->" and "<!--->" are whole (empty) comments.
            qsizetype close = -1;
            if (QStringView(html).mid(pos + 4, 1) == QLatin1String(">"))
                close = pos + 4;
            else if (QStringView(html).mid(pos + 4, 2) == QLatin1String("->"))
                close = pos + 5;
            else if ((close = html.indexOf(QLatin1String("-->"), pos + 4)) >= 0)
                close += 2;
            const qsizetype end = close < 0 ? pos + 4 : close + 1;
            replace(pos, end, {});
            pos = end;
            continue;
        }
        const Tag tag = tagAt(html, pos);
        if (tag.end < 0) {
            ++pos;
            continue;
        }
        if (isBlock(tag.name)) {
            copyText(pos);
            if (wrapped)
                out += QLatin1String("</div>");
            wrapped = false;
            afterBlock = tag.closing;
        }
        const bool cellTag = is(tag.name, "td") || is(tag.name, "th");
        const bool rowTag = is(tag.name, "tr");
        const bool flat = !tables.isEmpty() && tables.last().flat;
        if (is(tag.name, "head") || (is(tag.name, "title") && tag.closing)) {
            replace(pos, tag.end, {});
        } else if (is(tag.name, "title")) {
            const qsizetype close = html.indexOf(QLatin1String("</title"), tag.end, Qt::CaseInsensitive);
            const Tag closeTag = close < 0 ? Tag() : tagAt(html, close);
            replace(pos, closeTag.end < 0 ? tag.end : closeTag.end, {});
        } else if (is(tag.name, "table") && !tag.closing) {
            const bool nested = !tables.isEmpty();
            if (nested)
                replace(pos, tag.end, QLatin1String("<br>"));
            else
                copyText(pos);
            tables.append({nested, false});
        } else if (is(tag.name, "table") || cellTag || rowTag || is(tag.name, "tbody") || is(tag.name, "thead")
                   || is(tag.name, "tfoot") || is(tag.name, "caption")) {
            if (tables.isEmpty()) {
                replace(pos, tag.end, {}); // a table part outside any table
            } else if (flat) {
                replace(pos, tag.end, cellTag && tag.closing ? QLatin1String(" ")
                                      : (rowTag || is(tag.name, "table")) && tag.closing ? QLatin1String("<br>")
                                                                                         : QLatin1String(""));
                if (is(tag.name, "table"))
                    tables.removeLast();
            } else {
                copyText(pos);
                if (is(tag.name, "table"))
                    tables.removeLast();
                else
                    tables.last().inCell = !tag.closing && (cellTag || is(tag.name, "caption"));
            }
        } else {
            copyText(pos);
        }
        if (copied <= pos) {
            // Kept as it stands; a tag is no text, so it never opens a cell.
            // An unclosed script or style hides the rest, as a browser shows it.
            if (afterBlock && tables.isEmpty() && !tag.closing && !is(tag.name, "script") && !is(tag.name, "style")) {
                out += QLatin1String("<div>");
                wrapped = true;
                afterBlock = false;
            }
            out += QStringView(html).mid(pos, tag.end - pos);
            copied = tag.end;
        }
        pos = std::max(tag.end, copied);
    }
    copyText(html.size());
    if (wrapped)
        out += QLatin1String("</div>");
    return out;
}
