#include "dividerrenderer.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QTextBlock>
#include <QTextDocument>

DividerRenderer::DividerRenderer(QObject *parent) : QObject(parent) {}

QSizeF DividerRenderer::intrinsicSize(QTextDocument *document, int posInDocument, const QTextFormat &format)
{
    Q_UNUSED(format)
    qreal width = kFallbackWidth;
    if (document && document->pageSize().width() > 0) {
        const QTextBlockFormat block = document->findBlock(posInDocument).blockFormat();
        const qreal indent = block.indent() * document->indentWidth();
        // One pixel less than the line, so the rule never wraps onto a line of its own.
        width = document->pageSize().width() - 2 * document->documentMargin() - block.leftMargin()
            - block.rightMargin() - indent - 1;
    }
    return QSizeF(std::max<qreal>(1, width), kHeight);
}

void DividerRenderer::drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document,
                                 int posInDocument, const QTextFormat &format)
{
    Q_UNUSED(document)
    Q_UNUSED(posInDocument)
    Q_UNUSED(format)
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(QPen(QGuiApplication::palette().color(QPalette::Mid), 1));
    const int y = int(rect.top() + rect.height() / 2);
    painter->drawLine(QPointF(rect.left(), y), QPointF(rect.right(), y));
    painter->restore();
}
