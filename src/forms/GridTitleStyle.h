#pragma once
#include <QProxyStyle>

// The look of the results grid's column titles: each title has the whole width of its column. A title in the
// designed font fits the designed column width of 64 pixels, but not once the style's margins are taken off both
// sides. Qt's header asks the base style for the title's place and this style for the drawing, so both are widened.
class TGridTitleStyle : public QProxyStyle {
    Q_OBJECT
public:
    explicit TGridTitleStyle(QObject *parent);

    QRect subElementRect(SubElement element, const QStyleOption *option, const QWidget *widget) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override;
};
