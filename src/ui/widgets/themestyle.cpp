#include "themestyle.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>

#include <algorithm>

namespace {

QColor mixed(const QColor &from, const QColor &to, qreal amount)
{
    const auto channel = [amount](int a, int b) { return qRound(a + (b - a) * amount); };
    return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()), channel(from.blue(), to.blue()));
}

} // namespace

ThemeStyle::ThemeStyle()
    : QProxyStyle()
{
}

void ThemeStyle::polish(QWidget *widget)
{
    QProxyStyle::polish(widget);
    // Tooltips keep the palette Qt gave them at start-up, so a theme chosen
    // later left light tooltips on a dark window. A tooltip is made anew for
    // each time it is shown, and polished then.
    if (widget->inherits("QTipLabel")) {
        QPalette palette = widget->palette();
        const QPalette &application = QApplication::palette();
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            palette.setColor(group, QPalette::ToolTipBase, application.color(group, QPalette::ToolTipBase));
            palette.setColor(group, QPalette::ToolTipText, application.color(group, QPalette::ToolTipText));
        }
        widget->setPalette(palette);
    }
}

void ThemeStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                               const QWidget *widget) const
{
    // Status bar entries are texts, not boxes.
    if (element == PE_FrameStatusBarItem)
        return;
    if (element != PE_IndicatorCheckBox && element != PE_IndicatorRadioButton) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const QPalette &palette = option->palette;
    const bool enabled = option->state & State_Enabled;
    const QColor text = palette.color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::Text);
    QColor fill = palette.color(QPalette::Base);
    if (option->state & State_Sunken)
        fill = mixed(fill, text, 0.15);
    // Most of the way from base to text: at least 3:1 against window and base
    // in both themes, and it follows a system palette too.
    QColor outline = mixed(palette.color(QPalette::Base), text, 0.6);
    if ((option->state & State_HasFocus) && (option->state & State_KeyboardFocusChange))
        outline = palette.color(QPalette::Highlight);

    const int side = std::min(option->rect.width(), option->rect.height());
    QRectF box(0, 0, side, side);
    box.moveCenter(QRectF(option->rect).center());
    box.adjust(0.5, 0.5, -0.5, -0.5);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(QPen(outline, 1));
    painter->setBrush(fill);
    const qreal markWidth = std::max<qreal>(1.5, side / 7.0);
    if (element == PE_IndicatorRadioButton) {
        painter->drawEllipse(box);
        if (option->state & State_On) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(text);
            const qreal inset = side * 0.28;
            painter->drawEllipse(box.adjusted(inset, inset, -inset, -inset));
        }
    } else {
        painter->drawRoundedRect(box, 2, 2);
        painter->setPen(QPen(text, markWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter->setBrush(Qt::NoBrush);
        const qreal x = box.left(), y = box.top(), w = box.width();
        if (option->state & State_NoChange) {
            painter->drawLine(QPointF(x + w * 0.25, y + w * 0.5), QPointF(x + w * 0.75, y + w * 0.5));
        } else if (option->state & State_On) {
            QPainterPath mark;
            mark.moveTo(x + w * 0.22, y + w * 0.52);
            mark.lineTo(x + w * 0.42, y + w * 0.72);
            mark.lineTo(x + w * 0.78, y + w * 0.3);
            painter->drawPath(mark);
        }
    }
    painter->restore();
}
