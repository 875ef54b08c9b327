#include "forms/about.h"

#include "forms/ErrorBox.h"
#include "forms/WindowLook.h"

#include <QFrame>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

TAboutBox *AboutBox = nullptr;

namespace {

constexpr qreal DesignDpi = 120.0;

} // namespace

TAboutBox::TAboutBox(IMessageBoxes &boxes, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      boxes_(boxes) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setModal(false);
    WindowLook::InitResources();
    const QScreen *screen = this->screen();
    Build(screen ? screen->logicalDotsPerInch() : DesignDpi);
}

int TAboutBox::Scaled(int designed, qreal screenDpi) {
    return qRound(designed * screenDpi / DesignDpi);
}

void TAboutBox::Build(qreal dpi) {
    auto s = [dpi](int v) { return Scaled(v, dpi); };
    setFont(WindowLook::DesignFont(s(14)));
    setFixedSize(s(367), s(262));

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    // A sunken box in Qt is a lowered outer and a raised inner bevel.
    Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Panel1->setGeometry(s(10), s(10), s(346), s(208));

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setPixmap(QPixmap(QStringLiteral(":/icons/about-picture.png")));
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setGeometry(s(10), s(10), s(80), s(70));

    ProductName = new QLabel(QStringLiteral("Invexa - Software scanner"), Panel1);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    ProductName->move(s(108), s(20));
    ProductName->adjustSize();

    Version = new QLabel(QStringLiteral("Version 1.1.2 (beta)"), Panel1);
    Version->setObjectName(QStringLiteral("Version"));
    Version->move(s(108), s(49));
    Version->adjustSize();

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(s(137), s(222), s(92), s(30));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this,
            [this] { ErrorBox::Guard(boxes_, this, [this] { OKButtonClick(); }); });
}

void TAboutBox::ShowAndRaise() {
    const bool firstTime = !shownBefore_;
    if (!isVisible() && !firstTime)
        move(lastPos_);
    if (firstTime)
        CentreOnScreen();
    show();
    // The frame's size is known only once the window exists; centre again with it.
    if (firstTime)
        CentreOnScreen();
    shownBefore_ = true;
    raise();
    activateWindow();
}

void TAboutBox::CentreOnScreen() {
    if (const QScreen *screen = this->screen()) {
        QRect centred(QPoint(), frameGeometry().size());
        centred.moveCenter(screen->availableGeometry().center());
        move(centred.topLeft());
    }
}

void TAboutBox::OKButtonClick() {
    hide();
}

void TAboutBox::hideEvent(QHideEvent *event) {
    // Remember the place the user left the box at, also when it is hidden with its title-bar button.
    if (!event->spontaneous())
        lastPos_ = pos();
    QDialog::hideEvent(event);
}

void TAboutBox::keyPressEvent(QKeyEvent *event) {
    // The box has no Cancel button: Escape leaves it open; Enter presses OK, the title-bar button closes it.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
