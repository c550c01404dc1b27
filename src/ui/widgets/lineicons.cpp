#include "lineicons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

namespace {

struct Shape
{
    QPainterPath path;
    bool filled = false;
};

QPainterPath roundedRect(qreal x, qreal y, qreal w, qreal h, qreal r)
{
    QPainterPath p;
    p.addRoundedRect(QRectF(x, y, w, h), r, r);
    return p;
}

QPainterPath line(qreal x1, qreal y1, qreal x2, qreal y2)
{
    QPainterPath p(QPointF(x1, y1));
    p.lineTo(x2, y2);
    return p;
}

QPainterPath circle(qreal cx, qreal cy, qreal r)
{
    QPainterPath p;
    p.addEllipse(QPointF(cx, cy), r, r);
    return p;
}

QList<Shape> shapes(LineIcon icon)
{
    switch (icon) {
    case LineIcon::Person: {
        QPainterPath shoulders(QPointF(5, 20));
        shoulders.cubicTo(5, 15.8, 8.2, 13.5, 12, 13.5);
        shoulders.cubicTo(15.8, 13.5, 19, 15.8, 19, 20);
        return {{circle(12, 7.5, 3.5)}, {shoulders}};
    }
    case LineIcon::Cloud: {
        QPainterPath p(QPointF(7, 18.5));
        p.lineTo(17.5, 18.5);
        p.cubicTo(19.7, 18.5, 21.5, 16.7, 21.5, 14.5);
        p.cubicTo(21.5, 12.4, 19.9, 10.7, 17.8, 10.5);
        p.cubicTo(17.1, 7.6, 14.7, 5.5, 11.8, 5.5);
        p.cubicTo(8.8, 5.5, 6.3, 7.8, 6.0, 10.8);
        p.cubicTo(4.0, 11.3, 2.5, 13.0, 2.5, 14.9);
        p.cubicTo(2.5, 16.9, 4.5, 18.5, 7, 18.5);
        p.closeSubpath();
        return {{p}};
    }
    case LineIcon::Warning: {
        QPainterPath t(QPointF(12, 3.5));
        t.lineTo(21.5, 20);
        t.lineTo(2.5, 20);
        t.closeSubpath();
        return {{t}, {line(12, 9.5, 12, 13.5)}, {circle(12, 16.8, 0.9), true}};
    }
    case LineIcon::AllNotes: {
        QPainterPath back(QPointF(8.5, 5.5));
        back.lineTo(8.5, 4.5);
        back.quadTo(8.5, 3, 10, 3);
        back.lineTo(18, 3);
        back.quadTo(19.5, 3, 19.5, 4.5);
        back.lineTo(19.5, 15);
        back.quadTo(19.5, 16.5, 18, 16.5);
        back.lineTo(16.5, 16.5);
        return {{back}, {roundedRect(4.5, 6.5, 12, 14.5, 1.5)}, {line(7.5, 11, 13.5, 11)},
                {line(7.5, 14.5, 13.5, 14.5)}, {line(7.5, 18, 11, 18)}};
    }
    case LineIcon::Notebook:
        return {{roundedRect(5, 3, 14.5, 18, 2)}, {line(9, 3, 9, 21)}, {line(12, 8, 16.5, 8)},
                {line(12, 11.5, 15, 11.5)}};
    case LineIcon::Trash: {
        QPainterPath handle(QPointF(9, 6));
        handle.lineTo(9, 4.5);
        handle.quadTo(9, 3, 10.5, 3);
        handle.lineTo(13.5, 3);
        handle.quadTo(15, 3, 15, 4.5);
        handle.lineTo(15, 6);
        QPainterPath body(QPointF(6, 6));
        body.lineTo(7, 19.5);
        body.quadTo(7.1, 21, 8.6, 21);
        body.lineTo(15.4, 21);
        body.quadTo(16.9, 21, 17, 19.5);
        body.lineTo(18, 6);
        return {{line(4, 6, 20, 6)}, {handle}, {body}, {line(10, 10, 10, 17)}, {line(14, 10, 14, 17)}};
    }
    case LineIcon::Plus: {
        const qreal arm = 0.35 * 24;
        return {{line(12 - arm, 12, 12 + arm, 12)}, {line(12, 12 - arm, 12, 12 + arm)}};
    }
    case LineIcon::SidebarShown: {
        QPainterPath chevron(QPointF(7, 9.5));
        chevron.lineTo(5.5, 12);
        chevron.lineTo(7, 14.5);
        return {{roundedRect(3, 4.5, 18, 15, 2)}, {line(9.5, 4.5, 9.5, 19.5)}, {chevron}};
    }
    case LineIcon::SidebarHidden: {
        QPainterPath chevron(QPointF(6, 9.5));
        chevron.lineTo(7.5, 12);
        chevron.lineTo(6, 14.5);
        return {{roundedRect(3, 4.5, 18, 15, 2)}, {chevron}, {line(11, 9.5, 17.5, 9.5)},
                {line(11, 14.5, 15.5, 14.5)}};
    }
    case LineIcon::Copy: {
        QPainterPath back(QPointF(15.5, 8.5));
        back.lineTo(15.5, 5.5);
        back.quadTo(15.5, 3.5, 13.5, 3.5);
        back.lineTo(5.5, 3.5);
        back.quadTo(3.5, 3.5, 3.5, 5.5);
        back.lineTo(3.5, 13.5);
        back.quadTo(3.5, 15.5, 5.5, 15.5);
        back.lineTo(8.5, 15.5);
        return {{back}, {roundedRect(8.5, 8.5, 12, 12, 2)}};
    }
    case LineIcon::Share:
        return {{circle(17.5, 5.5, 2.5)}, {circle(6.5, 12, 2.5)}, {circle(17.5, 18.5, 2.5)},
                {line(8.7, 10.7, 15.3, 6.8)}, {line(8.7, 13.3, 15.3, 17.2)}};
    case LineIcon::History: {
        // An open clock face whose gap on the left carries an arrow head,
        // running back in time (anticlockwise).
        const QRectF face(3.5, 3.5, 17, 17);
        QPainterPath arc;
        arc.arcMoveTo(face, 160);
        arc.arcTo(face, 160, -300);
        const QPointF tip = arc.pointAtPercent(0);
        QPainterPath head(QPointF(tip.x() - 0.4, tip.y() - 3.6));
        head.lineTo(tip);
        head.lineTo(tip.x() + 3.4, tip.y() - 0.9);
        QPainterPath hands(QPointF(12, 7.5));
        hands.lineTo(12, 12);
        hands.lineTo(15, 14);
        return {{arc}, {head}, {hands}};
    }
    case LineIcon::More:
        return {{circle(5.5, 12, 1.6), true}, {circle(12, 12, 1.6), true}, {circle(18.5, 12, 1.6), true}};
    }
    return {};
}

} // namespace

void paintLineIcon(QPainter &painter, LineIcon icon, const QRectF &box, const QColor &color, qreal penWidth)
{
    const qreal side = qMin(box.width(), box.height());
    if (side <= 0)
        return;
    QTransform toBox;
    toBox.translate(box.center().x() - side / 2, box.center().y() - side / 2);
    toBox.scale(side / 24.0, side / 24.0);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPen pen(color, penWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    for (const Shape &shape : shapes(icon)) {
        // Map the geometry, not the painter, so the pen keeps its pixel width.
        const QPainterPath path = toBox.map(shape.path);
        if (shape.filled) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(color);
        } else {
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
        }
        painter.drawPath(path);
    }
    painter.restore();
}

QIcon lineIcon(LineIcon icon, const QColor &color, const QSize &size, qreal devicePixelRatio)
{
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        paintLineIcon(painter, icon, QRectF(QPointF(0, 0), QSizeF(size)), color);
    }
    return QIcon(pixmap);
}
