// The scan setup page: its entries, refusals and change flags, its keyboard use, and its layout at every size.
#include "FormsFixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>

class SetupPageTest : public FormsTest {
protected:
    void Enter(const char *maker, const char *app, const char *exe) {
        Find<QLineEdit>("MakerEB")->setText(QString::fromLatin1(maker));
        Find<QLineEdit>("ApplicationEB")->setText(QString::fromLatin1(app));
        Find<QLineEdit>("ExeNameEB")->setText(QString::fromLatin1(exe));
    }
    void ShowSetupPage() { Find<QTabWidget>("PageControl1")->setCurrentWidget(Find<QWidget>("setupSheet")); }
    // The change flags as "I", "S", "E" for the ignore list, the switches and the EXE names.
    std::string Flags() const {
        const invexa::TChangeFlags &f = window->ChangeFlags();
        return std::string(f.IgnoreListChanged ? "I" : "") + (f.SwitchesChanged ? "S" : "") +
               (f.ExeNamesChanged ? "E" : "");
    }
};

TEST_F(SetupPageTest, RefusedEntriesChangeNothing) {
    dir.Write("INVEXA.INI", "[Ignore Apps]\r\nIntel=\r\n");
    Start();
    Enter("", "Office", "");
    ClickButton("AddBtn");
    Enter("", "", "x.exe");
    ClickButton("AddExeBtn");
    Enter("", "Firefox", "");
    ClickButton("AddExeBtn");
    EXPECT_EQ(boxes.Texts(TKind::Refusal),
              (std::vector<QString>{"You must enter an Application Maker", "You must enter an Application name",
                                    "You must enter an EXE file name"}));
    EXPECT_EQ(boxes.Shown.size(), 3u);
    EXPECT_EQ(Items("IgnoreLB"), (std::vector<QString>{"Intel"}));
    EXPECT_TRUE(Items("ExeNamesLB").empty());
    EXPECT_EQ(Flags(), "");
}

TEST_F(SetupPageTest, AddedEntriesTakeTheirPlaceLetterCaseIgnoredAndFlagOnlyTheirList) {
    dir.Write("INVEXA.INI", "[Ignore Apps]\r\napple=\r\nCherry=\r\n[EXE Names]\r\nalpha=a.exe\r\nCharlie=c.exe\r\n");
    Start();
    Enter("Banana", "", "");
    ClickButton("AddBtn");
    EXPECT_EQ(Flags(), "I");
    Enter("aardvark", "Tool", "t.exe");
    ClickButton("AddBtn");
    ClickButton("AddBtn");
    EXPECT_EQ(Items("IgnoreLB"),
              (std::vector<QString>{"aardvark\\Tool", "aardvark\\Tool", "apple", "Banana", "Cherry"}));
    // Nothing is cleared and the new entry is not selected.
    EXPECT_EQ(Find<QLineEdit>("MakerEB")->text(), "aardvark");
    EXPECT_TRUE(Find<QListWidget>("IgnoreLB")->selectedItems().isEmpty());
    Enter("", "BRAVO", "b.exe");
    ClickButton("AddExeBtn");
    EXPECT_EQ(Items("ExeNamesLB"), (std::vector<QString>{"alpha=a.exe", "BRAVO=b.exe", "Charlie=c.exe"}));
    EXPECT_EQ(Flags(), "IE");
    EXPECT_TRUE(boxes.Shown.empty());
}

TEST_F(SetupPageTest, DeleteRemovesTheSelectedEntryOnlyAndFlagsOnlyItsList) {
    struct TCase {
        const char *List, *Button, *Flag;
    };
    for (const TCase &c : {TCase{"IgnoreLB", "DeleteBtn", "I"}, TCase{"ExeNamesLB", "DelExeBtn", "E"}}) {
        dir.Write("INVEXA.INI", "[Ignore Apps]\r\nA=\r\nB=\r\nC=\r\n[EXE Names]\r\nA=a\r\nB=b\r\nC=c\r\n");
        Start();
        auto *list = Find<QListWidget>(c.List);
        ClickButton(c.Button);
        EXPECT_EQ(list->count(), 3) << c.List;
        EXPECT_EQ(Flags(), "") << c.List;
        list->setCurrentRow(1);
        ClickButton(c.Button);
        ASSERT_EQ(list->count(), 2) << c.List;
        EXPECT_TRUE(list->item(0)->text().startsWith('A') && list->item(1)->text().startsWith('C')) << c.List;
        EXPECT_EQ(Flags(), c.Flag) << c.List;
        // No other entry is selected: a second click deletes nothing.
        ClickButton(c.Button);
        EXPECT_EQ(list->count(), 2) << c.List;
        EXPECT_TRUE(boxes.Shown.empty());
        Stop();
    }
}

TEST_F(SetupPageTest, EachSwitchAndTheDistributionSetOnlySwitchesChanged) {
    dir.Write("INVEXA.INI", "[Switches]\r\nDistribution=HQ\r\n");
    for (const char *name : {"UseIgnoreCB", "ScanForExeCB", "StealthModeCB", "DistributionEB"}) {
        Start();
        ShowSetupPage();
        if (auto *box = window->findChild<QCheckBox *>(name)) {
            QTest::mouseClick(box, Qt::LeftButton);
            EXPECT_FALSE(box->isChecked()) << name;
        } else {
            // Typing and undoing it leaves the flag set.
            QTest::keyClick(Find<QLineEdit>(name), Qt::Key_X);
            QTest::keyClick(Find<QLineEdit>(name), Qt::Key_Backspace);
            EXPECT_EQ(Find<QLineEdit>(name)->text(), "HQ");
        }
        EXPECT_EQ(Flags(), "S") << name;
        Stop();
    }
}

TEST_F(SetupPageTest, AccessKeysAndTabWalkTheControlsInTheDesignedOrder) {
    Start();
    ShowSetupPage();
    ASSERT_TRUE(WaitFor([this] { return window->isActiveWindow(); }));
    QTest::keyClick(window.get(), Qt::Key_M, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([this] { return QApplication::focusWidget() == Find<QWidget>("MakerEB"); }));
    QTest::keyClick(window.get(), Qt::Key_P, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([this] { return QApplication::focusWidget() == Find<QWidget>("ApplicationEB"); }));

    const QStringList expected = {"UseIgnoreCB", "IgnoreLB",      "ScanForExeCB",   "MakerEB",  "ApplicationEB",
                                  "AddBtn",      "DeleteBtn",     "ExeNamesLB",     "ExeNameEB", "AddExeBtn",
                                  "DelExeBtn",   "StealthModeCB", "DistributionEB", "CloseBtn"};
    QWidget *page = Find<QWidget>("setupSheet");
    QStringList walked;
    QWidget *w = Find<QWidget>("UseIgnoreCB");
    for (int guard = 0; guard < 200 && walked.size() < expected.size(); ++guard, w = w->nextInFocusChain())
        if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus))
            walked << w->objectName();
    EXPECT_EQ(walked, expected);
}

// FormResize's rule, applied at every change of the client area whichever page is active. Each row: left and
// top (and the size of what the rule stretches) at 752 x 473 (the start), 600 x 400 (below the smallest
// layout), 1000 x 700 and 1001 x 700 (an odd width, whose remainder goes to the right-hand list).
TEST_F(SetupPageTest, LayoutMatchesTheWorkedSizesAndAnOddWidth) {
    struct TRow {
        const char *Name;
        QRect At[4];
    };
    const TRow rows[] = {
        {"IgnoreLB", {{0, 70, 369, 289}, {0, 70, 364, 289}, {0, 70, 493, 489}, {0, 70, 493, 489}}},
        {"Bevel1", {{376, 24, 4, 313}, {371, 24, 4, 313}, {500, 24, 4, 513}, {500, 24, 4, 513}}},
        {"ExeNamesLB", {{384, 70, 360, 289}, {379, 70, 356, 289}, {508, 70, 484, 489}, {508, 70, 485, 489}}},
        {"Makerlbl", {{48, 368, 0, 0}, {48, 368, 0, 0}, {48, 568, 0, 0}, {48, 568, 0, 0}}},
        {"MakerEB", {{0, 384, 0, 0}, {0, 384, 0, 0}, {0, 584, 0, 0}, {0, 584, 0, 0}}},
        {"AddBtn", {{48, 416, 0, 0}, {48, 416, 0, 0}, {48, 616, 0, 0}, {48, 616, 0, 0}}},
        {"DeleteBtn", {{192, 416, 0, 0}, {192, 416, 0, 0}, {192, 616, 0, 0}, {192, 616, 0, 0}}},
        {"AppLbl", {{328, 368, 0, 0}, {323, 368, 0, 0}, {452, 568, 0, 0}, {452, 568, 0, 0}}},
        {"ApplicationEB", {{296, 384, 0, 0}, {291, 384, 0, 0}, {420, 584, 0, 0}, {420, 584, 0, 0}}},
        {"CloseBtn", {{336, 416, 0, 0}, {331, 416, 0, 0}, {460, 616, 0, 0}, {460, 616, 0, 0}}},
        {"ScanForExeCB", {{400, 24, 0, 0}, {395, 24, 0, 0}, {524, 24, 0, 0}, {524, 24, 0, 0}}},
        {"Label3", {{392, 48, 0, 0}, {387, 48, 0, 0}, {516, 48, 0, 0}, {516, 48, 0, 0}}},
        {"ExeNameLbl", {{569, 368, 0, 0}, {560, 368, 0, 0}, {817, 568, 0, 0}, {818, 568, 0, 0}}},
        {"ExeNameEB", {{545, 384, 0, 0}, {536, 384, 0, 0}, {793, 584, 0, 0}, {794, 584, 0, 0}}},
        {"AddExeBtn", {{449, 416, 0, 0}, {440, 416, 0, 0}, {697, 616, 0, 0}, {698, 616, 0, 0}}},
        {"DelExeBtn", {{577, 416, 0, 0}, {568, 416, 0, 0}, {825, 616, 0, 0}, {826, 616, 0, 0}}},
    };
    const QSize sizes[] = {{752, 473}, {600, 400}, {1000, 700}, {1001, 700}};
    Start();
    auto expectLayout = [&](int at) {
        for (const TRow &row : rows) {
            const QRect got = Find<QWidget>(row.Name)->geometry();
            const QRect want = row.At[at];
            EXPECT_EQ(got.topLeft(), want.topLeft()) << row.Name << " at " << sizes[at].width();
            if (!want.isEmpty())
                EXPECT_EQ(got.size(), want.size()) << row.Name << " at " << sizes[at].width();
        }
    };
    EXPECT_EQ(window->size(), sizes[0]);
    expectLayout(0);
    // Resized while the results page is active; back to the start size last.
    for (int at : {1, 2, 3, 0}) {
        window->resize(sizes[at]);
        ASSERT_TRUE(WaitFor([&] { return window->size() == sizes[at]; })) << sizes[at].width();
        expectLayout(at);
    }
    ShowSetupPage();
    expectLayout(0);
}
