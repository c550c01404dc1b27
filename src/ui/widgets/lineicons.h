#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>
#include <QSize>

class QPainter;

// The application's own icons: strokes on a 24-unit grid, scaled to whatever
// box they are drawn in. The pen width is in device-independent pixels of the
// target, so small icons keep crisp 1.5 px lines.
enum class LineIcon {
    Person,        // shared badge: head and shoulders
    Cloud,         // not yet synchronised
    Warning,       // conflict: triangle with an exclamation mark
    AllNotes,      // two stacked pages
    Notebook,      // a bound book with a spine
    Trash,
    Plus,
    SidebarShown,  // focus toggle while the side panes are visible
    SidebarHidden, // focus toggle in focus mode
    Copy,
    Share,
    History,
    More,          // three dots (filled)
};

// Draws icon into box in color; the 24-unit grid is fitted into the largest
// centred square of box. Round caps and joins, no fill except for dots.
void paintLineIcon(QPainter &painter, LineIcon icon, const QRectF &box, const QColor &color,
                   qreal penWidth = 1.5);

// A pixmap icon of size (logical pixels) rendered at devicePixelRatio.
QIcon lineIcon(LineIcon icon, const QColor &color, const QSize &size, qreal devicePixelRatio = 2.0);
