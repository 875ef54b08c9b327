// The scan setup page: its entries, refusals and change flags, its keyboard use, and its layout at every size.
#include "FormsFixture.h"

class SetupPageTest : public FormsTest {
protected:
    void Enter(const char *maker, const char *app, const char *exe) {
        Find<QLineEdit>("MakerEB")->setText(maker);
        Find<QLineEdit>("ApplicationEB")->setText(app);
        Find<QLineEdit>("ExeNameEB")->setText(exe);
    }
    void ShowSetupPage() { Find<QTabWidget>("PageControl1")->setCurrentWidget(Find<QWidget>("setupSheet")); }
    // The change flags as "I", "S", "E" for the ignore list, the switches and the EXE names.
    std::string Flags() const {
        const invexa::TChangeFlags &f = window->ChangeFlags();
        return std::string(f.IgnoreListChanged ? "I" : "") + (f.SwitchesChanged ? "S" : "") +
               (f.ExeNamesChanged ? "E" : "");
    }
};

// Each command of the page in a fresh window: the lists it leaves ("ignore list/EXE names") and the one change flag
// it sets. The entry rules and their order are the core's (tests/config); here a refusal shows in its box and
// changes nothing, and a delete takes the selected entry only.
TEST_F(SetupPageTest, EachCommandChangesItsListAndFlagAndARefusalShowsInItsBox) {
    const QString base = "apple|Cherry/alpha=a.exe|Charlie=c.exe";
    struct TCase {
        const char *What;
        std::function<void()> Edit;
        QString Lists;
        std::string Flags;
        QStringList Shown = {};
    };
    auto list = [this](const char *name) { return Find<QListWidget>(name); };
    std::vector<TCase> cases = {
        {"refusals", [&] { Enter(" ", "Office", ""), ClickButton("AddBtn"), ClickButton("AddExeBtn"); }, base, "",
         QStringList({"Refusal: You must enter an Application Maker", "Refusal: You must enter an EXE file name"})},
        {"an entry", [&] { Enter("Banana", "", ""), ClickButton("AddBtn"); },
         "apple|Banana|Cherry/alpha=a.exe|Charlie=c.exe", "I"},
        {"an EXE name", [&] { Enter("", "BRAVO", "b.exe"), ClickButton("AddExeBtn"); },
         "apple|Cherry/alpha=a.exe|BRAVO=b.exe|Charlie=c.exe", "E"},
        {"deletes without a selection", [&] { ClickButton("DeleteBtn"), ClickButton("DelExeBtn"); }, base, ""},
        // Nothing else is selected after a delete: the second click deletes nothing.
        {"an EXE name deleted",
         [&] { list("ExeNamesLB")->setCurrentRow(0), ClickButton("DelExeBtn"), ClickButton("DelExeBtn"); },
         "apple|Cherry/Charlie=c.exe", "E"},
        {"an entry deleted",
         [&] { list("IgnoreLB")->setCurrentRow(1), ClickButton("DeleteBtn"), ClickButton("DeleteBtn"); },
         "apple/alpha=a.exe|Charlie=c.exe", "I"},
        {"the distribution typed", [&] { QTest::keyClick(Find<QLineEdit>("DistributionEB"), Qt::Key_X); }, base, "S"},
    };
    for (const char *name : {"UseIgnoreCB", "ScanForExeCB", "StealthModeCB"})
        cases.push_back({name, [this, name] { QTest::mouseClick(Find<QCheckBox>(name), Qt::LeftButton); }, base, "S"});
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.What);
        dir.Write("INVEXA.INI",
                  "[Ignore Apps]\r\napple=\r\nCherry=\r\n[EXE Names]\r\nalpha=a.exe\r\nCharlie=c.exe\r\n");
        boxes.Shown.clear();
        Start();
        ShowSetupPage();
        c.Edit();
        EXPECT_EQ(Items("IgnoreLB") + "/" + Items("ExeNamesLB"), c.Lists);
        EXPECT_EQ(Flags(), c.Flags);
        EXPECT_EQ(boxes.Shown, c.Shown);
        Stop();
    }
}

TEST_F(SetupPageTest, AccessKeysOfTheLabelsMoveTheFocusToTheirEditBoxes) {
    Start();
    ShowSetupPage();
    ASSERT_TRUE(QTest::qWaitFor([this] { return window->isActiveWindow(); }));
    for (const auto &[key, target] : {std::pair{Qt::Key_M, "MakerEB"}, std::pair{Qt::Key_P, "ApplicationEB"}}) {
        QTest::keyClick(window.get(), key, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == Find<QWidget>(target); })) << target;
    }
}

// FormResize's rule, applied at every change of the client area whichever page is active: the lists and the
// bevel it stretches, and one control of each group it moves. Each row: left, top and (for what the rule
// stretches) size at 752 x 473 (the start) and 1001 x 700 (an odd width, whose remainder goes to the right-hand
// list).
TEST_F(SetupPageTest, LayoutMatchesTheWorkedSizesAndAnOddWidth) {
    const std::pair<const char *, std::array<QRect, 2>> rows[] = {
        {"IgnoreLB", {{{0, 70, 369, 289}, {0, 70, 493, 489}}}},
        {"Bevel1", {{{376, 24, 4, 313}, {500, 24, 4, 513}}}},
        {"ExeNamesLB", {{{384, 70, 360, 289}, {508, 70, 485, 489}}}},
        {"DeleteBtn", {{{192, 416, 0, 0}, {192, 616, 0, 0}}}},
        {"ExeNameLbl", {{{569, 368, 0, 0}, {818, 568, 0, 0}}}},
    };
    const QSize sizes[] = {{752, 473}, {1001, 700}};
    Start();
    // Each designed text fits its control's designed width in the window's font (a check box's with its tick).
    const std::pair<const char *, int> texts[] = {
        {"Label1", 66},     {"StaticText1", 357}, {"Label3", 181},        {"Makerlbl", 38},      {"AppLbl", 104},
        {"ExeNameLbl", 60}, {"UseIgnoreCB", 145}, {"StealthModeCB", 113}, {"ScanForExeCB", 185}, {"Label4", 562}};
    for (const auto &[name, width] : texts)
        EXPECT_LE(Find<QWidget>(name)->sizeHint().width(), width) << name;
    // Resized while the results page is active, back to the start size last, and seen on the setup page.
    for (int at : {1, 0, -1}) {
        if (at < 0)
            ShowSetupPage();
        window->resize(sizes[std::max(at, 0)]);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->size() == sizes[std::max(at, 0)]; }));
        for (const auto &[name, places] : rows) {
            const QRect got = Find<QWidget>(name)->geometry(), want = places[std::max(at, 0)];
            EXPECT_EQ(got.topLeft(), want.topLeft()) << name << " at " << window->width();
            EXPECT_TRUE(want.isEmpty() || got.size() == want.size()) << name << " at " << window->width();
        }
    }
}
