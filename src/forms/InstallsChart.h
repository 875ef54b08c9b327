#pragma once
#include <QString>
#include <QWidget>

#include <vector>

// A bar chart of the applications installed most, one horizontal bar a line, drawn with QPainter: Qt Charts
// is licensed under the GPL only, which would bind the whole program.
class TInstallsChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int MaxBars = 20;

    struct TBar {
        QString Label;
        qint64 Value = 0;
    };

    explicit TInstallsChart(QWidget *parent = nullptr);
    // The first MaxBars bars are drawn.
    void SetBars(std::vector<TBar> bars);
    const std::vector<TBar> &Bars() const { return bars_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::vector<TBar> bars_;
};
