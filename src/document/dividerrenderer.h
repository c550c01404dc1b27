#pragma once

// Draws divider objects (TextObject::Divider) as a thin horizontal rule
// across the width available to their line. The object character and its
// Delta stay as they are; this only gives them a visible shape. Register it
// with a document layout for TextObject::Divider.

#include <QObject>
#include <QTextObjectInterface>

class DividerRenderer final : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    explicit DividerRenderer(QObject *parent = nullptr);

    QSizeF intrinsicSize(QTextDocument *document, int posInDocument, const QTextFormat &format) override;
    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document, int posInDocument,
                    const QTextFormat &format) override;

    static constexpr int kHeight = 17;
    // Width used when the document has no page width (not laid out in a view).
    static constexpr int kFallbackWidth = 200;
};
