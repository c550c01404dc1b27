#include "windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

constexpr int kCascadeStep = 32;

qint64 overlapArea(const QRect &a, const QRect &b)
{
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : qint64(common.width()) * common.height();
}

} // namespace

int screenIndexFor(const QList<QRect> &areas, const QRect &anchor)
{
    if (areas.isEmpty())
        return -1;
    for (int i = 0; i < areas.size(); ++i) {
        if (areas.at(i).contains(anchor.center()))
            return i;
    }
    int best = 0;
    for (int i = 1; i < areas.size(); ++i) {
        if (overlapArea(areas.at(i), anchor) > overlapArea(areas.at(best), anchor))
            best = i;
    }
    return best;
}

QRect placeWindow(const QRect &window, const QRect &available, const std::optional<QRect> &opener)
{
    QRect placed(window.topLeft(), window.size().boundedTo(available.size()));
    if (opener) {
        placed.moveCenter(opener->center());
        if (placed.topLeft() == opener->topLeft())
            placed.translate(kCascadeStep, kCascadeStep);
    }
    placed.moveLeft(std::clamp(placed.left(), available.left(), available.right() - placed.width() + 1));
    placed.moveTop(std::clamp(placed.top(), available.top(), available.bottom() - placed.height() + 1));
    return placed;
}

void placeOnScreen(QWidget *window, const QWidget *opener)
{
    QList<QRect> areas;
    for (const QScreen *screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    const QRect anchor = opener ? opener->frameGeometry() : window->frameGeometry();
    const int index = screenIndexFor(areas, anchor);
    if (index < 0)
        return;
    // The frame (title bar, borders) counts against the screen too; it is
    // known only once the window has been shown.
    const QMargins frame(window->geometry().left() - window->frameGeometry().left(),
                         window->geometry().top() - window->frameGeometry().top(),
                         window->frameGeometry().right() - window->geometry().right(),
                         window->frameGeometry().bottom() - window->geometry().bottom());
    std::optional<QRect> openerFrame;
    if (opener)
        openerFrame = opener->frameGeometry();
    const QRect placed = placeWindow(window->frameGeometry(), areas.at(index), openerFrame);
    if (placed == window->frameGeometry())
        return;
    window->resize(placed.size().shrunkBy(frame));
    window->move(placed.topLeft());
}
