#pragma once

// The note body format: a JSON array of insert operations with optional
// attribute objects. Everything here is pure and tolerant: a body that is
// not JSON, not an array or holds odd elements never fails, it just reads as
// less (or, for the text helpers, as plain text).

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>


// Every attachment reference in a body is this prefix followed by the attachment id.
inline constexpr char kAttachmentUrlPrefix[] = "velmora-notes://attachment/";

// Embed kinds (the single key of an embed object).
inline constexpr char kAttachmentEmbedKind[] = "velmora-notes-attachment";
inline constexpr char kImageEmbedKind[] = "image";
inline constexpr char kDividerEmbedKind[] = "divider";
inline constexpr char kTableEmbedKind[] = "table";

// The body of a new note: one empty line.
inline constexpr char kEmptyDeltaJson[] = "[{\"insert\":\"\\n\"}]";

struct DeltaOp
{
    enum Type { InsertText = 0, InsertEmbed = 1, Retain = 2, Delete = 3 };

    Type type = InsertText;
    QString text;           // InsertText only
    QJsonObject embed;      // InsertEmbed only
    QJsonObject attributes; // empty when the operation has none
    int length = 0;         // Retain and Delete only

    // The embed's kind: its first key in ascending order; empty for non-embeds.
    QString embedKind() const;
    // The embed's value as text ("" when it is not a string).
    QString embedValue() const;

    bool operator==(const DeltaOp &other) const = default;
};

// Elements that are not JSON objects are skipped.
QList<DeltaOp> parseDelta(const QJsonArray &array);
// Empty text, invalid JSON and JSON that is not an array give an empty list.
QList<DeltaOp> parseDeltaJson(const QString &json);
// Parses one operation object (first match: string insert, object insert,
// "retain", "delete", otherwise an empty text insert).
DeltaOp parseDeltaOp(const QJsonObject &object);

// Compact UTF-8 JSON as every writer stores it (keys in ascending order).
QString deltaToJson(const QJsonArray &array);
QString compactJson(const QJsonObject &object);

// QJsonDocument::fromJson for note text. Qt's reader silently drops a U+FEFF
// inside a string, so a zero-width no-break space the user typed would vanish
// on the next load; the writers above escape it and this reader keeps one
// stored raw. A leading byte-order mark is still skipped.
QJsonDocument parseJsonText(const QString &json, QJsonParseError *error = nullptr);

// Concatenated text of all string inserts, newlines kept. A body that is not
// a JSON array is returned unchanged, so plain-text bodies read as themselves.
QString deltaPlainText(const QString &body);

// The plain text of a body (as deltaPlainText) and, apart, the text of its
// table cells, one cell per line, from one parse.
struct DeltaTexts
{
    QString plain;
    QString tableCells;
};
DeltaTexts deltaTexts(const QString &body);
// The same over a body already parsed (deltaArray), for callers that read
// more out of the same parse.
DeltaTexts deltaTexts(const QJsonArray &array);
// The body's array of operations; absent when it is empty, not JSON or not an array.
std::optional<QJsonArray> deltaArray(const QString &body);

// Title and preview of a plain text already read out of a body with
// deltaPlainText, for callers that need both and would otherwise parse twice.
QString plainTextTitle(const QString &text);
QString plainTextPreview(const QString &text);

// noteTitle of a body that parsed to ops (a JSON array), without parsing it again.
QString deltaOpsTitle(const QList<DeltaOp> &ops);

// Text helpers over a note's body (the body field of the note record).
// First line of the plain text, trimmed.
QString noteTitle(const QString &body);
// Everything after the first line, trimmed, newlines as spaces, cut to 120
// characters plus "..."; empty when the text has a single line.
QString notePreview(const QString &body);
// True when the body holds no visible text and no embed.
bool isNoteBodyEmpty(const QString &body);

// The attachment URL for an id, and the id inside a URL (the URL itself when
// it lacks the prefix).
QString attachmentUrl(const QString &attachmentId);
QString attachmentIdFromUrl(const QString &url);
