#pragma once

#include <QProxyStyle>

// The application's style: the platform's own, except that check box and
// radio button indicators are drawn with an outline that stands out from the
// window and list backgrounds of every theme (the stock outline is derived
// from the window colour and all but vanishes on a dark one), and tooltips
// take the theme's tooltip colours.
class ThemeStyle final : public QProxyStyle
{
    Q_OBJECT
public:
    ThemeStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void polish(QWidget *widget) override;
    using QProxyStyle::polish;
};
