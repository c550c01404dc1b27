#include "deltadocument.h"

#include "delta.h"
#include "deltatable.h"
#include "textformat.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextList>
#include <QTextTable>

#include <algorithm>
#include <utility>

namespace {

const QChar kObjectChar = QChar::ObjectReplacementCharacter;

// A code block line that is no heading: its text takes the code block's look.
bool isCodeLine(const QTextBlockFormat &format)
{
    const int level = format.intProperty(TextProperty::HeadingLevel);
    return format.property(TextProperty::CodeBlock).isValid() && (level < 1 || level > 6);
}

struct Piece
{
    bool isEmbed = false;
    QString text;
    QJsonObject attributes; // text pieces
    QJsonObject embed;      // embed pieces
};

// Fills a document from parsed operations, one line at a time.
class Loader
{
public:
    explicit Loader(QTextDocument *document) : m_cursor(document) {}

    void load(const QList<DeltaOp> &ops)
    {
        m_cursor.beginEditBlock();
        for (const DeltaOp &op : ops) {
            if (op.type == DeltaOp::InsertEmbed) {
                m_pending.append(Piece{true, {}, {}, op.embed});
            } else if (op.type == DeltaOp::InsertText) {
                // The document cannot hold a carriage return (it breaks the
                // paragraph), so a Windows line end would leave an empty line.
                QString text = op.text;
                text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
                qsizetype start = 0;
                for (qsizetype nl = text.indexOf(QLatin1Char('\n')); nl >= 0;
                     nl = text.indexOf(QLatin1Char('\n'), start)) {
                    if (nl > start)
                        m_pending.append(Piece{false, text.mid(start, nl - start), op.attributes, {}});
                    closeLine(op.attributes);
                    start = nl + 1;
                }
                if (start < text.size())
                    m_pending.append(Piece{false, text.mid(start), op.attributes, {}});
            }
        }
        if (!m_pending.isEmpty())
            closeLine({});
        flushPlainRun();
        m_cursor.endEditBlock();
    }

private:
    // Lines without any attribute are gathered and inserted in one call: one
    // insertion per line made loading a long plain note many times slower
    // than the text itself takes.
    bool takePlainLine(const QJsonObject &lineAttributes)
    {
        if (!lineAttributes.isEmpty())
            return false;
        for (const Piece &piece : std::as_const(m_pending)) {
            if (piece.isEmbed || !piece.attributes.isEmpty())
                return false;
        }
        if (m_inPlainRun)
            m_plainRun += QLatin1Char('\n');
        m_inPlainRun = true;
        for (const Piece &piece : std::as_const(m_pending))
            m_plainRun += piece.text;
        m_pending.clear();
        return true;
    }

    void flushPlainRun()
    {
        if (!m_inPlainRun)
            return;
        if (!m_fillCurrentBlock)
            m_cursor.insertBlock();
        m_fillCurrentBlock = false;
        const QTextBlockFormat blockFormat = lineAttributesToBlockFormat({});
        m_cursor.setBlockFormat(blockFormat);
        const QTextCharFormat lineFormat = lineCharFormat(blockFormat);
        m_cursor.setBlockCharFormat(lineFormat);
        // New paragraphs take the block and character formats just set.
        m_cursor.insertText(m_plainRun, lineFormat);
        m_plainRun.clear();
        m_inPlainRun = false;
    }

    static bool isTableEmbed(const Piece &piece)
    {
        return piece.isEmbed && piece.embed.contains(QLatin1String(kTableEmbedKind));
    }

    // A table is a block of its own wherever its embed stands: one that shares
    // its line splits the line around it, so that the body reads back the same
    // once written, whatever else was on the line.
    void closeLine(const QJsonObject &lineAttributes)
    {
        if (takePlainLine(lineAttributes))
            return;
        flushPlainRun();
        if (std::none_of(m_pending.cbegin(), m_pending.cend(), isTableEmbed)) {
            closeTextLine(lineAttributes);
            return;
        }
        const QList<Piece> pieces = std::exchange(m_pending, {});
        for (const Piece &piece : pieces) {
            if (!isTableEmbed(piece)) {
                m_pending.append(piece);
                continue;
            }
            const QString tableJson = piece.embed.value(QLatin1String(kTableEmbedKind)).toString();
            if (!m_pending.isEmpty()) {
                // What holds no table is dropped without splitting the line.
                if (!holdsTable(tableJson))
                    continue;
                closeTextLine(lineAttributes);
            }
            insertTable(tableJson);
        }
        if (!m_pending.isEmpty())
            closeTextLine(lineAttributes);
    }

    void insertTable(const QString &tableJson)
    {
        const int sizeBefore = m_cursor.document()->characterCount();
        const QTextBlock blockBefore = m_cursor.block();
        insertTableFromJson(m_cursor, tableJson);
        // A table that could not be built leaves no line, and the next
        // line must not be joined to the one before it.
        if (m_cursor.document()->characterCount() == sizeBefore)
            return;
        // A table on the first line sits after the document's initial
        // empty paragraph, which holds no line of the body: mark it
        // like the paragraphs the table created, so the body does not
        // grow an empty line in front of the table when written.
        if (m_fillCurrentBlock && blockBefore.isValid() && blockBefore.text().isEmpty()) {
            QTextBlockFormat format = blockBefore.blockFormat();
            format.setProperty(TextProperty::TableSpacer, true);
            QTextCursor(blockBefore).setBlockFormat(format);
        }
        // The paragraph after the table receives the next line.
        m_fillCurrentBlock = true;
    }

    void closeTextLine(const QJsonObject &lineAttributes)
    {
        if (!m_fillCurrentBlock)
            m_cursor.insertBlock();
        m_fillCurrentBlock = false;

        QTextBlockFormat blockFormat = lineAttributesToBlockFormat(lineAttributes);
        for (const Piece &piece : std::as_const(m_pending)) {
            if (!piece.isEmbed || piece.embed.isEmpty())
                continue;
            const QString kind = piece.embed.constBegin().key();
            if (kind == QLatin1String(kAttachmentEmbedKind) || kind == QLatin1String(kImageEmbedKind)) {
                // An image line is as tall as the image, not stretched.
                blockFormat.setLineHeight(0, QTextBlockFormat::SingleHeight);
                break;
            }
        }
        m_cursor.setBlockFormat(blockFormat);

        const QString listType = lineAttributes.value(QLatin1String("list")).toString();
        if (!listType.isEmpty())
            applyListType(m_cursor, listType);

        const QTextCharFormat lineFormat = lineCharFormat(blockFormat);
        m_cursor.setBlockCharFormat(lineFormat);
        // A code block's text is code already; bodies written before that
        // was understood carry "code" on it, which would paint it as inline code.
        const bool codeLine = isCodeLine(blockFormat);

        for (const Piece &piece : std::as_const(m_pending)) {
            if (piece.isEmbed) {
                m_cursor.insertText(QString(kObjectChar), embedFormat(piece.embed));
            } else {
                QJsonObject attributes = piece.attributes;
                if (codeLine)
                    attributes.remove(QLatin1String("code"));
                QTextCharFormat format = lineFormat;
                format.merge(inlineAttributesToCharFormat(attributes));
                m_cursor.insertText(piece.text, format);
            }
        }
        m_pending.clear();
    }

    static QTextCharFormat embedFormat(const QJsonObject &embed)
    {
        QTextCharFormat format;
        if (embed.isEmpty())
            return format;
        const QString kind = embed.constBegin().key();
        QString url = embed.constBegin().value().toString();
        const QLatin1String prefix(kAttachmentUrlPrefix);
        format.setProperty(TextProperty::ObjectKind, kind);
        if (kind == QLatin1String(kAttachmentEmbedKind)) {
            if (!url.startsWith(prefix))
                url.prepend(prefix);
            format.setObjectType(TextObject::Attachment);
        } else if (kind == QLatin1String(kImageEmbedKind)) {
            // Only images kept by the attachment store are shown; others are
            // dropped on the next write.
            if (url.startsWith(prefix))
                format.setObjectType(TextObject::Attachment);
        } else if (kind == QLatin1String(kDividerEmbedKind)) {
            format.setObjectType(TextObject::Divider);
        }
        format.setProperty(TextProperty::ObjectUrl, url);
        return format;
    }

    QTextCursor m_cursor;
    QList<Piece> m_pending;
    QString m_plainRun;
    bool m_inPlainRun = false;
    bool m_fillCurrentBlock = true;
};

// The table a block belongs to; for a table inside a cell, the outer one,
// which writes the whole nest as one embed.
QTextTable *outermostTable(const QTextBlock &block)
{
    QTextTable *table = QTextCursor(block).currentTable();
    if (!table)
        return nullptr;
    for (QTextFrame *frame = table->parentFrame(); frame; frame = frame->parentFrame()) {
        if (auto *outer = qobject_cast<QTextTable *>(frame))
            table = outer;
    }
    return table;
}

bool isSpacer(const QTextBlock &block)
{
    if (!block.blockFormat().boolProperty(TextProperty::TableSpacer))
        return false;
    QString text = block.text();
    text.remove(kObjectChar);
    return text.isEmpty();
}

bool isEmbedObject(int objectType)
{
    return objectType == TextObject::Attachment || objectType == TextObject::Divider;
}

void appendBlockRuns(QJsonArray &delta, const QTextBlock &block)
{
    const qsizetype blockStart = delta.size();
    // The fixed pitch of a code line is the block's, not inline code.
    const bool codeLine = isCodeLine(block.blockFormat());
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid())
            continue;
        const QTextCharFormat format = fragment.charFormat();
        QString text = fragment.text();
        if (isEmbedObject(format.objectType())) {
            QJsonObject embed;
            embed.insert(format.stringProperty(TextProperty::ObjectKind),
                         format.stringProperty(TextProperty::ObjectUrl));
            // Identical objects side by side share one fragment: one embed each.
            const qsizetype count = std::max<qsizetype>(1, text.count(kObjectChar));
            for (qsizetype i = 0; i < count; ++i)
                delta.append(QJsonObject{{QLatin1String("insert"), embed}});
            continue;
        }
        text.remove(kObjectChar);
        if (text.isEmpty())
            continue;
        QJsonObject op{{QLatin1String("insert"), text}};
        QJsonObject attributes = charFormatToInlineAttributes(format);
        if (codeLine)
            attributes.remove(QLatin1String("code"));
        if (!attributes.isEmpty())
            op.insert(QLatin1String("attributes"), attributes);
        // Runs that differ only in what is not written (a dropped object
        // between them, say) are one run when read back: write them as one.
        if (delta.size() > blockStart) {
            QJsonObject last = delta.last().toObject();
            if (last.value(QLatin1String("insert")).isString()
                && last.value(QLatin1String("attributes")).toObject() == attributes) {
                last.insert(QLatin1String("insert"), last.value(QLatin1String("insert")).toString() + text);
                delta[delta.size() - 1] = last;
                continue;
            }
        }
        delta.append(op);
    }
}

} // namespace

DeltaDocument::DeltaDocument(QObject *parent)
    : QObject(parent), m_document(new QTextDocument(this))
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(scaledPixelSize(16));
    m_document->setDefaultFont(font);
    m_document->setDocumentMargin(16);
    connect(m_document, &QTextDocument::contentsChanged, this, &DeltaDocument::contentsChanged);
}

void DeltaDocument::setDelta(const QJsonArray &delta)
{
    m_delta = delta;
    const bool wasBlocked = m_document->blockSignals(true);
    // Nothing of the load belongs in the undo history; switching undo off
    // also keeps a large body from building one undo command per piece.
    const bool undoEnabled = m_document->isUndoRedoEnabled();
    m_document->setUndoRedoEnabled(false);
    // With a null page size the layout ignores the edits; setting it back
    // starts one lazy layout of the whole text, the top first, instead of
    // laying out every line before the load returns.
    const QSizeF pageSize = m_document->pageSize();
    m_document->setPageSize(QSizeF(0, 0));
    m_document->clear();
    const QList<DeltaOp> ops = parseDelta(delta);
    if (!ops.isEmpty())
        Loader(m_document).load(ops);
    m_document->setPageSize(pageSize);
    m_document->setUndoRedoEnabled(undoEnabled);
    m_document->blockSignals(wasBlocked);
    m_document->clearUndoRedoStacks();
}

void DeltaDocument::setJson(const QString &body)
{
    if (body.isEmpty()) {
        m_document->clear();
        m_delta = QJsonArray();
        return;
    }
    QJsonParseError error;
    const QJsonDocument doc = parseJsonText(body, &error);
    if (error.error == QJsonParseError::NoError && doc.isArray()) {
        setDelta(doc.array());
        return;
    }
    m_document->setPlainText(body);
}

namespace {

// What a line shows: its text, its format and the formats of its runs.
bool sameBlock(const QTextBlock &a, const QTextBlock &b)
{
    if (a.text() != b.text() || a.blockFormat() != b.blockFormat() || a.charFormat() != b.charFormat()
        || (a.textList() == nullptr) != (b.textList() == nullptr)
        || (a.textList() && a.textList()->format() != b.textList()->format()))
        return false;
    QTextBlock::iterator i = a.begin();
    QTextBlock::iterator j = b.begin();
    for (; !i.atEnd() && !j.atEnd(); ++i, ++j) {
        if (i.fragment().length() != j.fragment().length() || i.fragment().charFormat() != j.fragment().charFormat())
            return false;
    }
    return i.atEnd() && j.atEnd();
}

bool hasTables(const QTextDocument *document)
{
    return !document->rootFrame()->childFrames().isEmpty();
}

} // namespace

bool DeltaDocument::applyJson(const QString &body, QList<int> *positions)
{
    DeltaDocument target;
    target.setJson(body);
    const QTextDocument *next = target.document();
    if (!parseJsonText(body).isArray() || hasTables(m_document) || hasTables(next) || m_document->isEmpty()) {
        setJson(body);
        return false;
    }
    m_delta = parseJsonText(body).array();
    // The lines both share at the start and then at the end stay untouched;
    // old lines [same, oldCount - tail) become new lines [same, newCount - tail).
    const int oldCount = m_document->blockCount();
    const int newCount = next->blockCount();
    int same = 0;
    while (same < oldCount && same < newCount
           && sameBlock(m_document->findBlockByNumber(same), next->findBlockByNumber(same)))
        ++same;
    if (same == oldCount && same == newCount)
        return true;
    int tail = 0;
    while (same + tail < oldCount && same + tail < newCount
           && sameBlock(m_document->findBlockByNumber(oldCount - 1 - tail), next->findBlockByNumber(newCount - 1 - tail)))
        ++tail;
    // The text of lines [first, end) of a document; when the range is empty
    // or reaches the last line, the line break it takes is the one before it
    // (or after it), so that whole lines come and go.
    const auto range = [](const QTextDocument *document, int first, int end, int count, bool otherEmpty) {
        const int documentEnd = document->characterCount() - 1;
        const auto startOf = [&](int n) { return n < count ? document->findBlockByNumber(n).position() : documentEnd; };
        const auto endOf = [&](int n) {
            const QTextBlock block = document->findBlockByNumber(n);
            return block.position() + block.length() - 1;
        };
        if (first == end)
            return std::pair{startOf(first), startOf(first)};
        if (!otherEmpty)
            return std::pair{startOf(first), endOf(end - 1)};
        // Whole lines added or removed: with their line breaks.
        if (end < count)
            return std::pair{startOf(first), startOf(end)};
        return std::pair{endOf(first - 1), documentEnd};
    };
    const bool oldEmpty = same == oldCount - tail;
    const bool newEmpty = same == newCount - tail;
    auto [oldBegin, oldEnd] = range(m_document, same, oldCount - tail, oldCount, newEmpty);
    auto [newBegin, newEnd] = range(next, same, newCount - tail, newCount, oldEmpty);
    if (oldEmpty) {
        // Inserted lines go where the old range would be, with their breaks.
        oldBegin = oldEnd = same < oldCount ? m_document->findBlockByNumber(same).position() : m_document->characterCount() - 1;
    }
    if (newEmpty)
        newBegin = newEnd = 0;
    QTextCursor source(const_cast<QTextDocument *>(next));
    source.setPosition(newBegin);
    source.setPosition(newEnd, QTextCursor::KeepAnchor);
    const QTextDocumentFragment fragment = source.selection();
    const QString oldText = m_document->toPlainText().mid(oldBegin, oldEnd - oldBegin);
    const QString newText = next->toPlainText().mid(newBegin, newEnd - newBegin);

    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    cursor.setPosition(oldBegin);
    cursor.setPosition(oldEnd, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.insertFragment(fragment);
    // A fragment's first line takes the format of the line it lands in; the
    // replaced lines take theirs from the new document, one by one.
    // The line after them too: a line break inserted before it may have
    // brought the format of the line it ended.
    for (int n = same; n < std::min(newCount, newCount - tail + 1); ++n) {
        const QTextBlock from = next->findBlockByNumber(n);
        QTextCursor line(m_document->findBlockByNumber(n));
        line.setBlockFormat(from.blockFormat());
        line.setBlockCharFormat(from.charFormat());
    }
    cursor.endEditBlock();

    if (positions) {
        // Outside the replaced text a position moves with it; inside, it keeps
        // to the text the old and new lines share at their start or end, and
        // otherwise stays where it was within what changed.
        qsizetype prefix = 0;
        while (prefix < oldText.size() && prefix < newText.size() && oldText[prefix] == newText[prefix])
            ++prefix;
        qsizetype suffix = 0;
        while (suffix < oldText.size() - prefix && suffix < newText.size() - prefix
               && oldText[oldText.size() - 1 - suffix] == newText[newText.size() - 1 - suffix])
            ++suffix;
        for (int &position : *positions) {
            if (position <= oldBegin + prefix)
                continue;
            if (position >= oldEnd - suffix)
                position += int(newText.size() - oldText.size());
            else
                position = std::min(position, int(oldBegin + newText.size() - suffix));
        }
    }
    return true;
}

QString DeltaDocument::toJson() const
{
    QList<QTextBlock> blocks;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next())
        blocks.append(block);
    QList<QTextTable *> tableOf(blocks.size(), nullptr);
    for (qsizetype i = 0; i < blocks.size(); ++i)
        tableOf[i] = outermostTable(blocks[i]);

    // Paragraphs that inserting a table created around it are not content.
    QSet<qsizetype> skipped;
    for (qsizetype i = 0; i < blocks.size();) {
        QTextTable *table = tableOf[i];
        if (!table) {
            ++i;
            continue;
        }
        if (i > 0 && !tableOf[i - 1] && isSpacer(blocks[i - 1]))
            skipped.insert(i - 1);
        while (i < blocks.size() && tableOf[i] == table)
            ++i;
        if (i < blocks.size() && !tableOf[i] && isSpacer(blocks[i]))
            skipped.insert(i);
    }

    QJsonArray delta;
    QSet<QTextTable *> written;
    const QJsonObject lineEnd{{QLatin1String("insert"), QStringLiteral("\n")}};
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        if (skipped.contains(i))
            continue;
        if (QTextTable *table = tableOf[i]) {
            if (written.contains(table))
                continue;
            written.insert(table);
            delta.append(QJsonObject{
                {QLatin1String("insert"), QJsonObject{{QLatin1String(kTableEmbedKind), tableToJson(table)}}}});
            delta.append(lineEnd);
            continue;
        }
        appendBlockRuns(delta, blocks[i]);
        QJsonObject end = lineEnd;
        const QJsonObject attributes = blockFormatToLineAttributes(blocks[i].blockFormat());
        if (!attributes.isEmpty())
            end.insert(QLatin1String("attributes"), attributes);
        delta.append(end);
    }
    return deltaToJson(delta);
}

QString DeltaDocument::toPlainText() const
{
    return m_document->toPlainText();
}
