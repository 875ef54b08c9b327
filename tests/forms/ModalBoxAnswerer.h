#pragma once
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <vector>

// Presses a button of every real QMessageBox that comes up while it lives: a zero-delay timer looks for the
// active modal widget from inside the box's own event loop.
class TModalBoxAnswerer : public QObject {
public:
    explicit TModalBoxAnswerer(QMessageBox::StandardButton press);
    ~TModalBoxAnswerer() override;

    struct TSeen {
        QString Title;
        QString Text;
        QMessageBox::Icon Icon;
        QMessageBox::StandardButtons Buttons;
        bool Modal;
    };
    std::vector<TSeen> Seen;

private:
    void Poll();
    QMessageBox::StandardButton press_;
    QTimer timer_;
};
