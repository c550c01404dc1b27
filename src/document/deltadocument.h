#pragma once

// The editable rich text of a note, loaded from its Delta body and written
// back to one. Loading always starts from an empty document and leaves the
// undo history empty; writing reads the document as it is at that moment.
// Bodies that are not JSON arrays are shown as plain text and become a proper
// Delta on the next write.

#include <QJsonArray>
#include <QObject>
#include <QString>

class QTextDocument;

class DeltaDocument final : public QObject
{
    Q_OBJECT
public:
    explicit DeltaDocument(QObject *parent = nullptr);

    // Owned by this object; the editor shows it with QTextEdit::setDocument.
    QTextDocument *document() const { return m_document; }

    void setDelta(const QJsonArray &delta);
    // Empty text clears the document; a JSON array is loaded as setDelta;
    // anything else is shown as plain text.
    void setJson(const QString &body);
    // Loads body as one edit of the current document instead of afresh: only
    // the lines that differ are replaced, as one undo step, so the undo
    // history stays usable and cursors on other lines keep their text. Each
    // of positions (in the document before) is moved to the same text after.
    // A document with tables, or a body that is not a Delta, is loaded as
    // setJson does; returns false then.
    bool applyJson(const QString &body, QList<int> *positions = nullptr);
    // The Delta of the current document, compact JSON.
    QString toJson() const;
    QString toPlainText() const;

signals:
    // Every change of the document's contents, except those made by loading.
    void contentsChanged();

private:
    QTextDocument *m_document = nullptr;
    QJsonArray m_delta; // the last Delta loaded
};
