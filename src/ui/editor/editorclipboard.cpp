#include "editorclipboard.h"

#include "deltadocument.h"
#include "deltaimport.h"
#include "editorrules.h"

#include <QJsonDocument>
#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QUrl>

namespace EditorClipboard {

namespace {

constexpr char kNoteDeltaMime[] = "application/x-velmora-note-delta";
constexpr char kNoteIdMime[] = "application/x-velmora-note-id";

} // namespace

bool hasLocalFiles(const QMimeData *source)
{
    if (!source->hasUrls())
        return false;
    const QList<QUrl> urls = source->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl &url) { return url.isLocalFile(); });
}

void addNoteDelta(QMimeData *data, const QTextDocumentFragment &selection, const QString &noteId)
{
    DeltaDocument scratch;
    QTextCursor copy(scratch.document());
    copy.insertFragment(selection);
    data->setData(QString::fromLatin1(kNoteDeltaMime), scratch.toJson().toUtf8());
    data->setData(QString::fromLatin1(kNoteIdMime), noteId.toUtf8());
}

std::optional<QJsonArray> noteDelta(const QMimeData *source, const QString &noteId)
{
    // The editor's own mime data lists only its standard formats, so the
    // private ones are asked for directly.
    if (noteId.isEmpty() || QString::fromUtf8(source->data(QString::fromLatin1(kNoteIdMime))) != noteId)
        return std::nullopt;
    const QJsonDocument delta = QJsonDocument::fromJson(source->data(QString::fromLatin1(kNoteDeltaMime)));
    if (!delta.isArray())
        return std::nullopt;
    return delta.array();
}

std::optional<QJsonArray> convertedText(const QMimeData *source)
{
    if (source->hasFormat(QStringLiteral("text/markdown")))
        return markdownToDelta(QString::fromUtf8(source->data(QStringLiteral("text/markdown"))));
    if (source->hasHtml())
        return htmlToDelta(source->html());
    if (source->hasText()) {
        const QString text = source->text();
        if (EditorRules::looksLikeHtml(text))
            return htmlToDelta(text);
        if (EditorRules::looksLikeMarkdown(text))
            return markdownToDelta(text);
    }
    return std::nullopt;
}

QTextDocumentFragment deltaFragment(const QJsonArray &delta, const QFont &font)
{
    if (delta.isEmpty())
        return {};
    DeltaDocument scratch;
    scratch.document()->setDefaultFont(font);
    scratch.setDelta(delta);

    QTextCursor all(scratch.document());
    all.movePosition(QTextCursor::Start);
    all.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    const QString text = all.selectedText();
    int end = all.selectionEnd();
    for (int i = int(text.size()) - 1; i >= 0 && text.at(i) == QChar::ParagraphSeparator; --i)
        --end;
    all.setPosition(0);
    all.setPosition(end, QTextCursor::KeepAnchor);
    return all.selection();
}

} // namespace EditorClipboard
