#include "forms/InstallsChart.h"

#include <QPainter>

#include <algorithm>

TInstallsChart::TInstallsChart(QWidget *parent) : QWidget(parent) {
    setMinimumHeight(120);
}

void TInstallsChart::SetBars(std::vector<TBar> bars) {
    if (bars.size() > MaxBars)
        bars.resize(MaxBars);
    bars_ = std::move(bars);
    update();
}

QSize TInstallsChart::sizeHint() const {
    return {400, MaxBars * (fontMetrics().height() + 2) + 8};
}

void TInstallsChart::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    if (bars_.empty())
        return;
    const QFontMetrics fm = fontMetrics();
    const int margin = 4;
    const int rowHeight = std::max(4, (height() - 2 * margin) / static_cast<int>(bars_.size()));
    const int labelWidth = std::min(width() / 3, 260);
    const qint64 top = std::max<qint64>(1, bars_.front().Value);
    const int countWidth = fm.horizontalAdvance(QString::number(top)) + 2 * margin;
    const int barSpace = std::max(1, width() - labelWidth - countWidth - 3 * margin);
    for (std::size_t i = 0; i < bars_.size(); ++i) {
        const int y = margin + static_cast<int>(i) * rowHeight;
        const QRect label(margin, y, labelWidth, rowHeight);
        p.setPen(palette().text().color());
        p.drawText(label, Qt::AlignRight | Qt::AlignVCenter, fm.elidedText(bars_[i].Label, Qt::ElideRight, labelWidth));
        const int length = static_cast<int>(barSpace * std::max<qint64>(0, bars_[i].Value) / top);
        const QRect bar(labelWidth + 2 * margin, y + 1, std::max(1, length), std::max(1, rowHeight - 2));
        p.fillRect(bar, palette().highlight());
        p.drawText(QRect(bar.right() + margin, y, countWidth, rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::number(bars_[i].Value));
    }
}
