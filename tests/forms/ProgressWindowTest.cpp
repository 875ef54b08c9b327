// The merge's progress window as the core's merge and deletion drive it through IProgress.
#include "forms/mergmess.h"

#include <QLabel>

#include <gtest/gtest.h>

TEST(ProgressWindow, HasTheDesignedFrameSizeAndLabels) {
    TmergemessFm window;
    EXPECT_EQ(window.windowTitle(), "Pleast Wait.");
    EXPECT_EQ(window.size(), QSize(164, 48));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(window.pos(), QPoint(399, 410));
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_EQ(window.font().pixelSize(), 11);
    EXPECT_EQ(window.Label1->pos(), QPoint(8, 8));
    EXPECT_EQ(window.FilenameLbl->pos(), QPoint(8, 24));
    EXPECT_FALSE(window.isVisible());
}

TEST(ProgressWindow, StartStepFinishShowTheHeadlineAndEachItemThenHide) {
    TmergemessFm window;
    window.Start("Please wait...");
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.Label1->text(), "Please wait...");
    EXPECT_TRUE(window.FilenameLbl->text().isEmpty());
    window.Step("Deleting records");
    EXPECT_EQ(window.FilenameLbl->text(), "Deleting records");
    // Items are 8-bit texts as stored.
    window.Step("caf\xE9.ivx");
    EXPECT_EQ(window.FilenameLbl->text(), QString::fromUtf8("café.ivx"));
    EXPECT_GE(window.FilenameLbl->width(), window.FilenameLbl->sizeHint().width());
    window.Finish();
    EXPECT_FALSE(window.isVisible());
    // A later start clears the item line again.
    window.Start("Merging data files...");
    EXPECT_TRUE(window.FilenameLbl->text().isEmpty());
    window.Finish();
}
