#include "htmlwriter.h"

#include "converters.h"
#include "delta.h"

#include <QJsonObject>
#include <QList>

namespace {

// A piece of a line: text with its inline attributes, or an attachment.
struct Piece
{
    QString text;
    QJsonObject attributes;
    QString attachmentId; // set for an attachment or image embed
};

int headingLevel(const QJsonObject &attributes)
{
    const int level = attributes.value(QLatin1String("header")).toInt();
    return level >= 1 && level <= 6 ? level : 0;
}

int indentLevel(const QJsonObject &attributes)
{
    return qBound(0, attributes.value(QLatin1String("indent")).toInt(), HtmlWriter::kMaxIndent);
}

QString alignStyle(const QJsonObject &attributes)
{
    const QString align = attributes.value(QLatin1String("align")).toString();
    if (align == QLatin1String("center") || align == QLatin1String("right") || align == QLatin1String("justify"))
        return QStringLiteral(" style=\"text-align:%1\"").arg(align);
    return {};
}

enum class Block { None, List, Code, Quote };

class PageWriter
{
public:
    PageWriter(const HtmlWriter::AttachmentResolver &resolve, bool richText)
        : m_resolve(resolve)
        , m_richText(richText)
    {
    }

    void closeLine(const QList<Piece> &pieces, const QJsonObject &attributes)
    {
        const int level = headingLevel(attributes);
        const QString list = level ? QString() : attributes.value(QLatin1String("list")).toString();
        const bool code = !level && list.isEmpty() && attributes.contains(QLatin1String("code-block"));
        const bool quote = !level && list.isEmpty() && !code && attributes.value(QLatin1String("blockquote")).toBool();

        if (!list.isEmpty()) {
            listItem(list, indentLevel(attributes), inner(pieces, false), alignStyle(attributes));
            return;
        }
        if (code) {
            // Consecutive code lines are one block; the text is code already.
            if (m_block != Block::Code) {
                endBlock();
                m_out += QLatin1String("<pre><code>");
                m_block = Block::Code;
            } else {
                m_out += QLatin1Char('\n');
            }
            m_out += inner(pieces, true);
            return;
        }
        if (quote) {
            if (m_block != Block::Quote) {
                endBlock();
                m_out += QLatin1String("<blockquote>\n");
                m_block = Block::Quote;
            }
            m_out += QStringLiteral("<p%1>%2</p>\n").arg(alignStyle(attributes), inner(pieces, false));
            return;
        }
        endBlock();
        QString style = alignStyle(attributes);
        if (const int indent = indentLevel(attributes); indent > 0 && !level) {
            const QString margin = QStringLiteral("margin-left:%1em").arg(indent * 2);
            style = style.isEmpty() ? QStringLiteral(" style=\"%1\"").arg(margin)
                                    : style.chopped(1) + QLatin1Char(';') + margin + QLatin1Char('"');
        }
        const QString tag = level ? QStringLiteral("h%1").arg(level) : QStringLiteral("p");
        m_out += QStringLiteral("<%1%2>%3</%1>\n").arg(tag, style, inner(pieces, false));
    }

    void divider()
    {
        endBlock();
        m_out += QLatin1String("<hr>\n");
    }

    void table(const QString &json)
    {
        endBlock();
        m_out += tableToHtml(json);
    }

    QString finish()
    {
        endBlock();
        return m_out;
    }

private:
    QString inner(const QList<Piece> &pieces, bool codeLine) const
    {
        QString html;
        for (const Piece &piece : pieces) {
            if (!piece.attachmentId.isEmpty()) {
                html += attachment(piece.attachmentId);
                continue;
            }
            QJsonObject attributes = piece.attributes;
            if (codeLine)
                attributes.remove(QLatin1String("code"));
            html += inlineHtml(piece.text, attributes);
        }
        return html;
    }

    QString attachment(const QString &id) const
    {
        const std::optional<HtmlWriter::Attachment> shown = m_resolve ? m_resolve(id) : std::nullopt;
        if (!shown)
            return {};
        if (!shown->image)
            return QStringLiteral("<a href=\"%1\">%2</a>").arg(shown->href.toHtmlEscaped(), shown->name.toHtmlEscaped());
        const QString width = shown->width > 0 ? QStringLiteral(" width=\"%1\"").arg(shown->width) : QString();
        return QStringLiteral("<img src=\"%1\" alt=\"%2\"%3>")
            .arg(shown->href.toHtmlEscaped(), shown->name.toHtmlEscaped(), width);
    }

    void listItem(const QString &type, int indent, const QString &html, const QString &style)
    {
        const QString tag = type == QLatin1String("ordered") ? QStringLiteral("ol") : QStringLiteral("ul");
        if (m_block != Block::List)
            endBlock();
        m_block = Block::List;
        // Deeper lists end; a list of another kind at this level ends too.
        while (m_lists.size() > indent + 1)
            closeList();
        if (m_lists.size() == indent + 1 && m_lists.constLast().tag != tag)
            closeList();
        if (m_lists.size() == indent + 1 && m_lists.constLast().itemOpen)
            m_out += QLatin1String("</li>\n");
        while (m_lists.size() < indent + 1) {
            m_out += QLatin1Char('<') + tag + QLatin1String(">\n");
            m_lists.append({tag, false});
        }
        QString box;
        QString itemClass;
        if (type == QLatin1String("checked") || type == QLatin1String("unchecked")) {
            const bool ticked = type == QLatin1String("checked");
            itemClass = QStringLiteral(" class=\"%1\"").arg(type);
            if (!m_richText)
                box = ticked ? QStringLiteral("<input type=\"checkbox\" checked disabled> ")
                             : QStringLiteral("<input type=\"checkbox\" disabled> ");
        }
        m_out += QLatin1String("<li") + itemClass + style + QLatin1Char('>') + box + html;
        m_lists.last().itemOpen = true;
    }

    void closeList()
    {
        if (m_lists.constLast().itemOpen)
            m_out += QLatin1String("</li>\n");
        m_out += QLatin1String("</") + m_lists.constLast().tag + QLatin1String(">\n");
        m_lists.removeLast();
        if (!m_lists.isEmpty())
            m_lists.last().itemOpen = true; // the nested list sits inside the outer item
    }

    void endBlock()
    {
        switch (m_block) {
        case Block::List:
            while (!m_lists.isEmpty())
                closeList();
            break;
        case Block::Code:
            m_out += QLatin1String("</code></pre>\n");
            break;
        case Block::Quote:
            m_out += QLatin1String("</blockquote>\n");
            break;
        case Block::None:
            break;
        }
        m_block = Block::None;
    }

    struct OpenList
    {
        QString tag;
        bool itemOpen = false;
    };

    const HtmlWriter::AttachmentResolver &m_resolve;
    const bool m_richText;
    QString m_out;
    Block m_block = Block::None;
    QList<OpenList> m_lists;
};

constexpr char kStyle[] = "<style>\n"
                          "body { line-height: 1.5; }\n"
                          "pre { background-color: #ECEEF1; padding: 8px 12px; }\n"
                          "blockquote { border-left: 3px solid #C4C6CF; margin-left: 0; padding-left: 12px; }\n"
                          "img { max-width: 100%; }\n";
// Browsers draw the <input> boxes instead of bullets; QTextDocument draws its
// own marker for the classes, which a list style of none would hide.
constexpr char kBrowserCheckItems[] = "li.checked, li.unchecked { list-style-type: none; }\n";

} // namespace

QString HtmlWriter::write(const QJsonArray &delta) const
{
    PageWriter page(m_resolve, m_richText);
    QList<Piece> pending;
    for (const DeltaOp &op : parseDelta(delta)) {
        if (op.type == DeltaOp::InsertText) {
            qsizetype start = 0;
            for (;;) {
                const qsizetype newline = op.text.indexOf(QLatin1Char('\n'), start);
                const qsizetype end = newline < 0 ? op.text.size() : newline;
                if (end > start)
                    pending.append({op.text.mid(start, end - start), op.attributes, {}});
                if (newline < 0)
                    break;
                page.closeLine(pending, op.attributes);
                pending.clear();
                start = newline + 1;
            }
        } else if (op.type == DeltaOp::InsertEmbed) {
            const QString kind = op.embedKind();
            if (kind == QLatin1String(kDividerEmbedKind) || kind == QLatin1String(kTableEmbedKind)) {
                if (!pending.isEmpty()) {
                    page.closeLine(pending, {});
                    pending.clear();
                }
                if (kind == QLatin1String(kDividerEmbedKind))
                    page.divider();
                else
                    page.table(op.embedValue());
            } else if (kind == QLatin1String(kAttachmentEmbedKind)
                       || (kind == QLatin1String(kImageEmbedKind)
                           && op.embedValue().startsWith(QLatin1String(kAttachmentUrlPrefix)))) {
                pending.append({{}, {}, attachmentIdFromUrl(op.embedValue())});
            }
        }
    }
    if (!pending.isEmpty())
        page.closeLine(pending, {});
    return QLatin1String("<html><head><meta charset=\"utf-8\">\n") + QLatin1String(kStyle)
        + (m_richText ? QString() : QLatin1String(kBrowserCheckItems))
        + QLatin1String("</style>\n</head><body>\n") + page.finish() + QLatin1String("</body></html>");
}
