// The about box: one non-modal window, centred the first time, then back where it was hidden.
#include "WindowTest.h"
#include "forms/about.h"
#include "forms/admnMain.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>

class AboutBoxTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        CreateDatabase();
        Start();
    }
    void ClickAbout() { QTest::mouseClick(Find<QToolButton>("AboutBtn"), Qt::LeftButton); }
    int AboutBoxes() const {
        int n = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            n += qobject_cast<TAboutBox *>(w) != nullptr;
        return n;
    }
};

TEST_F(AboutBoxTest, ShowsTheDesignedContentNonModal) {
    ClickAbout();
    ASSERT_TRUE(WaitFor([this] { return aboutBox->isVisible(); }));
    EXPECT_FALSE(aboutBox->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(aboutBox->windowTitle(), "About");
    EXPECT_EQ(aboutBox->findChild<QLabel *>("ProductName")->text(), "Invexa - Software scanner");
    EXPECT_EQ(aboutBox->findChild<QLabel *>("Version")->text(), "Version 1.1.2 (beta)");
    auto *ok = aboutBox->findChild<QPushButton *>("OKButton");
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    EXPECT_FALSE(aboutBox->findChild<QLabel *>("ProgramIcon")->pixmap().isNull());
    const qreal dpi = aboutBox->screen()->logicalDotsPerInch();
    EXPECT_EQ(aboutBox->size(), QSize(TAboutBox::Scaled(367, dpi), TAboutBox::Scaled(262, dpi)));
    EXPECT_EQ(aboutBox->minimumSize(), aboutBox->maximumSize());
    // The main window stays usable meanwhile.
    EXPECT_TRUE(window->isEnabled());
}

TEST_F(AboutBoxTest, ScalesFromTheDesignDensity) {
    EXPECT_EQ(TAboutBox::Scaled(367, 120), 367);
    EXPECT_EQ(TAboutBox::Scaled(367, 96), 294);
    EXPECT_EQ(TAboutBox::Scaled(262, 144), 314);
}

TEST_F(AboutBoxTest, CentredFirstThenWhereItWasHidden) {
    ClickAbout();
    ASSERT_TRUE(WaitFor([this] { return aboutBox->isVisible(); }));
    const QRect screen = aboutBox->screen()->availableGeometry();
    EXPECT_LE(std::abs(aboutBox->frameGeometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(aboutBox->frameGeometry().center().y() - screen.center().y()), 1);

    aboutBox->move(40, 50);
    ASSERT_TRUE(WaitFor([this] { return aboutBox->pos() == QPoint(40, 50); }));
    QTest::mouseClick(aboutBox->findChild<QPushButton *>("OKButton"), Qt::LeftButton);
    EXPECT_FALSE(aboutBox->isVisible());
    ClickAbout();
    ASSERT_TRUE(WaitFor([this] { return aboutBox->isVisible(); }));
    EXPECT_EQ(aboutBox->pos(), QPoint(40, 50));
}

TEST_F(AboutBoxTest, ClosingByTitleBarOrEnterHidesTheSameSingleBox) {
    ClickAbout();
    ClickAbout();
    ASSERT_TRUE(WaitFor([this] { return aboutBox->isVisible(); }));
    EXPECT_EQ(AboutBoxes(), 1);
    aboutBox->close();
    EXPECT_FALSE(aboutBox->isVisible());
    ClickAbout();
    ASSERT_TRUE(WaitFor([this] { return aboutBox->isVisible(); }));
    // Without a Cancel button Escape does nothing.
    QTest::keyClick(aboutBox.get(), Qt::Key_Escape);
    EXPECT_TRUE(aboutBox->isVisible());
    QTest::keyClick(aboutBox.get(), Qt::Key_Return);
    EXPECT_FALSE(aboutBox->isVisible());
    EXPECT_EQ(AboutBoxes(), 1);
}
