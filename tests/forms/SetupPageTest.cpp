// The scan setup page: adding, deleting and refusing entries, the switches, and the change flags they set.
#include "WindowTest.h"
#include "forms/admnMain.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using TKind = TScriptedMessageBoxes::TKind;

class SetupPageTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        CreateDatabase();
    }
    void Type(const char *editName, const QString &text) { Find<QLineEdit>(editName)->setText(text); }
    void Click(const char *buttonName) { QTest::mouseClick(Find<QPushButton>(buttonName), Qt::LeftButton); }
    void Select(const char *listName, const QString &text) {
        auto *list = Find<QListWidget>(listName);
        const auto found = list->findItems(text, Qt::MatchExactly);
        ASSERT_FALSE(found.isEmpty()) << text.toStdString();
        list->setCurrentItem(found.first());
    }
};

TEST_F(SetupPageTest, AddRefusesAnEmptyMakerAndChangesNothing) {
    WriteIni("[Ignore Apps]\r\nIntel=\r\n");
    Start();
    Type("ApplicationEB", "Office");
    Click("AddBtn");
    EXPECT_EQ(boxes.Texts(TKind::Refusal), (std::vector<QString>{"You must enter an Application Maker"}));
    EXPECT_TRUE(boxes.Texts(TKind::ErrorBox).empty());
    EXPECT_EQ(Items("IgnoreLB"), (std::vector<QString>{"Intel"}));
    EXPECT_FALSE(window->ChangeFlags().Any());
}

TEST_F(SetupPageTest, AddBuildsMakerAloneOrMakerBackslashApplication) {
    Start();
    Type("MakerEB", "Microsoft");
    Click("AddBtn");
    EXPECT_EQ(Items("IgnoreLB"), (std::vector<QString>{"Microsoft"}));
    EXPECT_TRUE(window->ChangeFlags().IgnoreListChanged);
    EXPECT_FALSE(window->ChangeFlags().SwitchesChanged);
    EXPECT_FALSE(window->ChangeFlags().ExeNamesChanged);
    Type("ApplicationEB", "Office");
    Click("AddBtn");
    EXPECT_EQ(Items("IgnoreLB"), (std::vector<QString>{"Microsoft", "Microsoft\\Office"}));
    // Nothing is cleared and the new entry is not selected.
    EXPECT_EQ(Find<QLineEdit>("MakerEB")->text(), "Microsoft");
    EXPECT_EQ(Find<QLineEdit>("ApplicationEB")->text(), "Office");
    EXPECT_TRUE(Find<QListWidget>("IgnoreLB")->selectedItems().isEmpty());
    EXPECT_TRUE(boxes.Shown.empty());
}

TEST_F(SetupPageTest, AddAcceptsBlankMakerAndDuplicates) {
    Start();
    Type("MakerEB", "  ");
    Click("AddBtn");
    Click("AddBtn");
    EXPECT_EQ(Items("IgnoreLB"), (std::vector<QString>{"  ", "  "}));
    EXPECT_TRUE(boxes.Shown.empty());
}

TEST_F(SetupPageTest, NewEntriesTakeTheirPlaceAmongLoadedOnesLetterCaseIgnored) {
    WriteIni("[Ignore Apps]\r\napple=\r\nCherry=\r\n[EXE Names]\r\nalpha=a.exe\r\nCharlie=c.exe\r\n");
    Start();
    Type("MakerEB", "Banana");
    Click("AddBtn");
    Type("MakerEB", "aardvark");
    Click("AddBtn");
    EXPECT_EQ(Items("IgnoreLB"), (std::vector<QString>{"aardvark", "apple", "Banana", "Cherry"}));
    Type("ApplicationEB", "BRAVO");
    Type("ExeNameEB", "b.exe");
    Click("AddExeBtn");
    EXPECT_EQ(Items("ExeNamesLB"), (std::vector<QString>{"alpha=a.exe", "BRAVO=b.exe", "Charlie=c.exe"}));
}

TEST_F(SetupPageTest, AddExeRefusesMissingApplicationFirstThenMissingExe) {
    Start();
    Click("AddExeBtn");
    EXPECT_EQ(boxes.Texts(TKind::Refusal), (std::vector<QString>{"You must enter an Application name"}));
    Type("ApplicationEB", "Firefox");
    Click("AddExeBtn");
    EXPECT_EQ(boxes.Texts(TKind::Refusal),
              (std::vector<QString>{"You must enter an Application name", "You must enter an EXE file name"}));
    EXPECT_TRUE(Items("ExeNamesLB").empty());
    EXPECT_FALSE(window->ChangeFlags().Any());
}

TEST_F(SetupPageTest, ApplicationNameServesBothAddButtons) {
    Start();
    Type("MakerEB", "Mozilla");
    Type("ApplicationEB", "Firefox");
    Type("ExeNameEB", "firefox.exe");
    Click("AddBtn");
    Click("AddExeBtn");
    EXPECT_EQ(Items("IgnoreLB"), (std::vector<QString>{"Mozilla\\Firefox"}));
    EXPECT_EQ(Items("ExeNamesLB"), (std::vector<QString>{"Firefox=firefox.exe"}));
    EXPECT_TRUE(window->ChangeFlags().IgnoreListChanged);
    EXPECT_TRUE(window->ChangeFlags().ExeNamesChanged);
    EXPECT_FALSE(window->ChangeFlags().SwitchesChanged);
}

TEST_F(SetupPageTest, DeleteWithoutSelectionDoesNothing) {
    WriteIni("[Ignore Apps]\r\nIntel=\r\n[EXE Names]\r\nA=a.exe\r\n");
    Start();
    Click("DeleteBtn");
    Click("DelExeBtn");
    EXPECT_EQ(Items("IgnoreLB").size(), 1u);
    EXPECT_EQ(Items("ExeNamesLB").size(), 1u);
    EXPECT_FALSE(window->ChangeFlags().Any());
    EXPECT_TRUE(boxes.Shown.empty());
}

TEST_F(SetupPageTest, DeleteRemovesTheSelectedEntryAndSelectsNoOther) {
    WriteIni("[Ignore Apps]\r\nA=\r\nB=\r\nC=\r\n[EXE Names]\r\nX=x.exe\r\nY=y.exe\r\n");
    Start();
    Select("IgnoreLB", "B");
    Click("DeleteBtn");
    EXPECT_EQ(Items("IgnoreLB"), (std::vector<QString>{"A", "C"}));
    EXPECT_TRUE(Find<QListWidget>("IgnoreLB")->selectedItems().isEmpty());
    EXPECT_TRUE(window->ChangeFlags().IgnoreListChanged);
    EXPECT_FALSE(window->ChangeFlags().ExeNamesChanged);
    // A second click finds nothing selected.
    Click("DeleteBtn");
    EXPECT_EQ(Items("IgnoreLB").size(), 2u);

    Select("ExeNamesLB", "X=x.exe");
    Click("DelExeBtn");
    EXPECT_EQ(Items("ExeNamesLB"), (std::vector<QString>{"Y=y.exe"}));
    EXPECT_TRUE(window->ChangeFlags().ExeNamesChanged);
    EXPECT_FALSE(window->ChangeFlags().SwitchesChanged);
}

TEST_F(SetupPageTest, EachSwitchClickSetsOnlySwitchesChanged) {
    for (const char *name : {"UseIgnoreCB", "ScanForExeCB", "StealthModeCB"}) {
        Start();
        Find<QTabWidget>("PageControl1")->setCurrentWidget(Find<QWidget>("setupSheet"));
        QTest::mouseClick(Find<QCheckBox>(name), Qt::LeftButton);
        EXPECT_FALSE(Find<QCheckBox>(name)->isChecked()) << name;
        EXPECT_TRUE(window->ChangeFlags().SwitchesChanged) << name;
        EXPECT_FALSE(window->ChangeFlags().IgnoreListChanged) << name;
        EXPECT_FALSE(window->ChangeFlags().ExeNamesChanged) << name;
        Stop();
    }
}

TEST_F(SetupPageTest, TypingIntoDistributionAndUndoingItLeavesTheFlagSet) {
    WriteIni("[Switches]\r\nDistribution=HQ\r\n");
    Start();
    auto *edit = Find<QLineEdit>("DistributionEB");
    QTest::keyClick(edit, Qt::Key_X);
    EXPECT_TRUE(window->ChangeFlags().SwitchesChanged);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), "HQ");
    EXPECT_TRUE(window->ChangeFlags().SwitchesChanged);
}

TEST_F(SetupPageTest, GridEntryAlwaysCarriesTheBackslash) {
    WriteIni("[Ignore Apps]\r\nMicrosoft=\r\n");
    Start();
    window->AddCurrentToIgnoreList("Adobe", "");
    window->AddCurrentToIgnoreList("", "Tool");
    window->AddCurrentToIgnoreList("Soci\xE9t\xE9", "Caf\xE9");
    EXPECT_EQ(Items("IgnoreLB"),
              (std::vector<QString>{"\\Tool", "Adobe\\", "Microsoft", QString::fromUtf8("Société\\Café")}));
    EXPECT_EQ(window->PageSettings().IgnoreList[3], "Soci\xE9t\xE9\\Caf\xE9");
    EXPECT_TRUE(window->ChangeFlags().IgnoreListChanged);
    EXPECT_TRUE(boxes.Shown.empty());
}

TEST_F(SetupPageTest, ControlsCarryTheirCaptionsAccessKeysAndFocusTargets) {
    Start();
    EXPECT_EQ(Find<QCheckBox>("UseIgnoreCB")->text(), "&Use Ignore List");
    EXPECT_EQ(Find<QCheckBox>("StealthModeCB")->text(), "&Stealth Mode");
    EXPECT_EQ(Find<QCheckBox>("ScanForExeCB")->text(), "Scan Drives for  &EXE files");
    EXPECT_EQ(Find<QPushButton>("AddBtn")->text(), "&Add");
    EXPECT_EQ(Find<QPushButton>("DeleteBtn")->text(), "De&lete");
    EXPECT_EQ(Find<QPushButton>("CloseBtn")->text(), "&Close");
    EXPECT_EQ(Find<QPushButton>("AddExeBtn")->text(), "A&dd");
    EXPECT_EQ(Find<QPushButton>("DelExeBtn")->text(), "Delete");
    EXPECT_EQ(Find<QLabel>("StaticText1")->text(), "These Applications will be ignored during the Registry Scan");
    EXPECT_EQ(Find<QLabel>("Label3")->text(), "Application Executable names");
    EXPECT_EQ(Find<QLabel>("Label1")->text(), "Distribution");
    EXPECT_EQ(Find<QTabWidget>("PageControl1")->tabText(1), "Scan Setup");
    EXPECT_EQ(Find<QTabWidget>("PageControl1")->tabText(0), "Logged Results");
    const std::pair<const char *, const char *> buddies[] = {{"Makerlbl", "MakerEB"},
                                                             {"AppLbl", "ApplicationEB"},
                                                             {"ExeNameLbl", "ExeNameEB"},
                                                             {"Label1", "DistributionEB"},
                                                             {"Label3", "ExeNamesLB"}};
    for (const auto &[label, target] : buddies)
        EXPECT_EQ(Find<QLabel>(label)->buddy(), Find<QWidget>(target)) << label;
    EXPECT_EQ(Find<QLabel>("Makerlbl")->text(), "&Maker");
    EXPECT_EQ(Find<QLabel>("AppLbl")->text(), "A&pplication name");
    EXPECT_EQ(Find<QLabel>("ExeNameLbl")->text(), "&Exe name");
}

TEST_F(SetupPageTest, AccessKeyOfAMakerLabelMovesTheFocusToItsEditBox) {
    Start();
    Find<QTabWidget>("PageControl1")->setCurrentWidget(Find<QWidget>("setupSheet"));
    window->activateWindow();
    ASSERT_TRUE(WaitFor([this] { return window->isActiveWindow(); }));
    QTest::keyClick(window.get(), Qt::Key_M, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([this] { return QApplication::focusWidget() == Find<QWidget>("MakerEB"); }));
    QTest::keyClick(window.get(), Qt::Key_P, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([this] { return QApplication::focusWidget() == Find<QWidget>("ApplicationEB"); }));
}

TEST_F(SetupPageTest, TabWalksTheControlsInTheDesignedOrder) {
    Start();
    const std::vector<QString> expected = {
        "UseIgnoreCB", "IgnoreLB",  "ScanForExeCB", "MakerEB",   "ApplicationEB", "AddBtn",         "DeleteBtn",
        "ExeNamesLB",  "ExeNameEB", "AddExeBtn",    "DelExeBtn", "StealthModeCB", "DistributionEB", "CloseBtn"};
    QWidget *page = Find<QWidget>("setupSheet");
    std::vector<QString> walked;
    QWidget *w = Find<QWidget>("UseIgnoreCB");
    for (int guard = 0; guard < 200 && walked.size() < expected.size(); ++guard, w = w->nextInFocusChain())
        if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus))
            walked.push_back(w->objectName());
    EXPECT_EQ(walked, expected);
    EXPECT_FALSE(Find<QWidget>("StaticText1")->focusPolicy() & Qt::TabFocus);
}
