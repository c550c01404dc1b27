#pragma once

#include <QJsonArray>
#include <QString>

#include <optional>

class QFont;
class QMimeData;
class QTextDocumentFragment;

// What the editor puts on the clipboard and makes of what it finds there.
namespace EditorClipboard {

bool hasLocalFiles(const QMimeData *source);
// Adds the selection's Delta for a paste into the same note: a cut and paste
// keeps attachments, check lists, code blocks and quotes, which HTML cannot
// express. Attachment records belong to their note, so only noteId takes it.
void addNoteDelta(QMimeData *data, const QTextDocumentFragment &selection, const QString &noteId);
// The Delta that addNoteDelta put there, when the copy came from noteId.
std::optional<QJsonArray> noteDelta(const QMimeData *source, const QString &noteId);
// Markdown and HTML, as data or as text that looks like them, as a Delta;
// nothing for plain text.
std::optional<QJsonArray> convertedText(const QMimeData *source);
// The text to insert for delta, without its final paragraph breaks.
QTextDocumentFragment deltaFragment(const QJsonArray &delta, const QFont &font);

} // namespace EditorClipboard
