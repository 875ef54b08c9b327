#include "ModalBoxAnswerer.h"

#include <QAbstractButton>
#include <QApplication>

TModalBoxAnswerer::TModalBoxAnswerer(QMessageBox::StandardButton press) : press_(press) {
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start();
}

TModalBoxAnswerer::~TModalBoxAnswerer() {
    timer_.stop();
}

void TModalBoxAnswerer::Poll() {
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    Seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(), box->isModal()});
    if (QAbstractButton *button = box->button(press_))
        button->click();
    else
        box->reject();
}
