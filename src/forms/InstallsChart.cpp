#include "forms/InstallsChart.h"

#include <QPainter>

#include <algorithm>

TInstallsChart::TInstallsChart(QWidget *parent) : QWidget(parent) {
    setMinimumSize(120, 120);
}

void TInstallsChart::SetBars(std::vector<TBar> bars) {
    if (bars.size() > MaxBars)
        bars.resize(MaxBars);
    bars_ = std::move(bars);
    update();
}

QSize TInstallsChart::sizeHint() const {
    return {260, MaxBars * (fontMetrics().height() + 2) + 8};
}

// Each bar spans the width in proportion to the most installs, its label written over it, so that long names
// keep the whole width of a narrow chart.
void TInstallsChart::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    if (bars_.empty())
        return;
    const QFontMetrics fm = fontMetrics();
    const int margin = 4;
    const int rowHeight = std::clamp((height() - 2 * margin) / MaxBars, 4, 2 * fm.height());
    const qint64 top = std::max<qint64>(1, bars_.front().Value);
    QColor fill = palette().highlight().color();
    fill.setAlpha(90);
    for (std::size_t i = 0; i < bars_.size(); ++i) {
        const QRect row(margin, margin + static_cast<int>(i) * rowHeight, width() - 2 * margin, rowHeight);
        const int length = static_cast<int>(row.width() * std::max<qint64>(0, bars_[i].Value) / top);
        p.fillRect(QRect(row.left(), row.top() + 1, std::max(1, length), std::max(1, rowHeight - 2)), fill);
        const QString count = QString::number(bars_[i].Value);
        const QRect text = row.adjusted(margin, 0, -margin, 0);
        p.setPen(palette().text().color());
        p.drawText(text, Qt::AlignRight | Qt::AlignVCenter, count);
        const int room = text.width() - fm.horizontalAdvance(count) - 2 * margin;
        p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, fm.elidedText(bars_[i].Label, Qt::ElideRight, room));
    }
}
