#include "forms/GridTitleStyle.h"

#include <QStyleOptionHeaderV2>

namespace {

// The option as it came (a V2 option keeps its elide mode), widened by the margin on both sides.
template <class TOption> TOption Widened(const TOption &option, int margin) {
    TOption wide(option);
    wide.rect.adjust(-margin, 0, margin, 0);
    return wide;
}

} // namespace

TGridTitleStyle::TGridTitleStyle(QObject *parent) {
    setParent(parent);
}

QRect TGridTitleStyle::subElementRect(SubElement element, const QStyleOption *option, const QWidget *widget) const {
    QRect rect = QProxyStyle::subElementRect(element, option, widget);
    if (element == SE_HeaderLabel) {
        rect.setLeft(option->rect.left());
        rect.setRight(option->rect.right());
    }
    return rect;
}

void TGridTitleStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                                  const QWidget *widget) const {
    if (element != CE_HeaderLabel) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    // The base style took its margin off both sides of the section before asking for the label.
    const int margin = pixelMetric(PM_HeaderMargin, option, widget);
    if (const auto *v2 = qstyleoption_cast<const QStyleOptionHeaderV2 *>(option)) {
        const QStyleOptionHeaderV2 wide = Widened(*v2, margin);
        QProxyStyle::drawControl(element, &wide, painter, widget);
    } else if (const auto *title = qstyleoption_cast<const QStyleOptionHeader *>(option)) {
        const QStyleOptionHeader wide = Widened(*title, margin);
        QProxyStyle::drawControl(element, &wide, painter, widget);
    } else {
        QProxyStyle::drawControl(element, option, painter, widget);
    }
}
