#include "forms/mergmess.h"

#include "forms/Cp1252Text.h"
#include "forms/WindowLook.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QWindow>

TmergemessFm *mergemessFm = nullptr;

namespace {

// How long Start waits for the window system to put the window on the screen before the busy work begins.
constexpr int ExposeWaitMs = 1000;

} // namespace

TmergemessFm::TmergemessFm(QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("mergemessFm"));
    setWindowTitle(QStringLiteral("Pleast Wait."));
    setFont(WindowLook::DesignFont(11));
    setFixedSize(164, 48);
    move(399, 410);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(8, 8);
    FilenameLbl = new QLabel(this);
    FilenameLbl->setObjectName(QStringLiteral("FilenameLbl"));
    FilenameLbl->move(8, 24);
}

void TmergemessFm::SetLabel(QLabel *label, const QString &text) {
    label->setText(text);
    label->adjustSize();
}

void TmergemessFm::Start(const std::string &headline) {
    SetLabel(Label1, QString::fromUtf8(headline));
    SetLabel(FilenameLbl, QString());
    show();
    raise();
    // The work that follows blocks the event loop; let the window system map the window first so that the
    // repaints below reach the screen.
    QDeadlineTimer deadline(ExposeWaitMs);
    while (windowHandle() && !windowHandle()->isExposed() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 50);
    RepaintNow();
}

void TmergemessFm::Step(const std::string &item) {
    SetLabel(FilenameLbl, Cp1252Text::ToQString(item));
    RepaintNow();
}

void TmergemessFm::Finish() {
    hide();
}

void TmergemessFm::RepaintNow() {
    if (isVisible())
        repaint();
}
