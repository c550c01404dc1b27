#pragma once

#include <QList>
#include <QRect>

#include <optional>

class QWidget;

// Where top-level windows open: always wholly on one screen's available area.

// Of the screens' available areas, the index of the one a window belongs on:
// the one holding the centre of anchor (the opener's frame, or the window's
// own), else the one it overlaps most, else the first. -1 when there are none.
int screenIndexFor(const QList<QRect> &areas, const QRect &anchor);

// The frame of a window inside available: no larger than the area, and moved
// as little as needed to lie wholly inside it. With an opener's frame the
// window is centred on the opener first, and stepped down and right when it
// would cover the opener exactly.
QRect placeWindow(const QRect &window, const QRect &available, const std::optional<QRect> &opener = std::nullopt);

// Applies placeWindow to a top-level window before it is shown: on the
// opener's screen when there is an opener, else on its own.
void placeOnScreen(QWidget *window, const QWidget *opener = nullptr);
