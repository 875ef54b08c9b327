// Closing the main window: the changed groups reach INVEXA.INI, a failed save keeps the window open.
#include "WindowTest.h"
#include "config/ScanSettings.h"
#include "forms/admnMain.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

using TKind = TScriptedMessageBoxes::TKind;

class CloseTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        CreateDatabase();
    }
};

TEST_F(CloseTest, CloseWithoutEditsWritesNothingAndEndsTheProgram) {
    Start();
    QSignalSpy closed(window.get(), &TRuvolaform::Closed);
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(IniExists());
    EXPECT_TRUE(boxes.Shown.empty());
}

TEST_F(CloseTest, CloseWithoutEditsLeavesAFileChangedByOthersAlone) {
    WriteIni("[Switches]\r\nStealthMode=0\r\n");
    Start();
    WriteIni("[Switches]\r\nStealthMode=1\r\nOther=x\r\n");
    EXPECT_TRUE(window->close());
    EXPECT_EQ(ReadIni(), "[Switches]\r\nStealthMode=1\r\nOther=x\r\n");
}

TEST_F(CloseTest, CloseButtonSavesTheEditedGroups) {
    WriteIni("[Ignore Apps]\r\nIntel=\r\n[Switches]\r\nUseIgnoreList=1\r\nStealthMode=0\r\n");
    Start();
    Find<QLineEdit>("MakerEB")->setText("Adobe");
    Find<QLineEdit>("ApplicationEB")->setText("Reader");
    Find<QLineEdit>("ExeNameEB")->setText("AcroRd32.exe");
    QTest::mouseClick(Find<QPushButton>("AddBtn"), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>("AddExeBtn"), Qt::LeftButton);
    Find<QCheckBox>("UseIgnoreCB")->setChecked(false);
    Find<QLineEdit>("DistributionEB")->setText("Branch");
    QSignalSpy closed(window.get(), &TRuvolaform::Closed);
    QTest::mouseClick(Find<QPushButton>("CloseBtn"), Qt::LeftButton);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(window->isVisible());

    const invexa::TScanSettings saved = invexa::LoadSettings(dir.Path());
    EXPECT_EQ(saved.IgnoreList, (std::vector<std::string>{"Adobe\\Reader", "Intel"}));
    EXPECT_EQ(saved.ExeNames, (std::vector<std::string>{"Reader=AcroRd32.exe"}));
    EXPECT_FALSE(saved.UseIgnoreList);
    EXPECT_TRUE(saved.SearchForExe);
    EXPECT_FALSE(saved.StealthMode);
    EXPECT_EQ(saved.Distribution, "Branch");
    EXPECT_TRUE(boxes.Shown.empty());
}

TEST_F(CloseTest, OnlyTheChangedGroupIsRewritten) {
    WriteIni("[Ignore Apps]\r\nIntel=\r\n[Switches]\r\nStealthMode=0\r\n");
    Start();
    // Others change the ignore list meanwhile; only the switches were edited here.
    WriteIni("[Ignore Apps]\r\nIntel=\r\nOracle=\r\n[Switches]\r\nStealthMode=0\r\n");
    Find<QCheckBox>("ScanForExeCB")->setChecked(false);
    EXPECT_TRUE(window->close());
    const invexa::TScanSettings saved = invexa::LoadSettings(dir.Path());
    EXPECT_EQ(saved.IgnoreList, (std::vector<std::string>{"Intel", "Oracle"}));
    EXPECT_FALSE(saved.SearchForExe);
    EXPECT_FALSE(saved.StealthMode);
    EXPECT_TRUE(saved.ExeNames.empty());
}

TEST_F(CloseTest, DeletingEveryEntryRemovesTheSection) {
    WriteIni("[Ignore Apps]\r\nIntel=\r\n[EXE Names]\r\nA=a.exe\r\n");
    Start();
    auto *list = Find<QListWidget>("IgnoreLB");
    list->setCurrentRow(0);
    QTest::mouseClick(Find<QPushButton>("DeleteBtn"), Qt::LeftButton);
    EXPECT_TRUE(window->close());
    const std::string ini = ReadIni();
    EXPECT_EQ(ini.find("Ignore Apps"), std::string::npos) << ini;
    EXPECT_NE(ini.find("A=a.exe"), std::string::npos) << ini;
}

TEST_F(CloseTest, FailedSaveKeepsTheWindowOpenAndALaterCloseSavesAgain) {
    WriteIni("[Switches]\r\nStealthMode=0\r\n");
    ASSERT_EQ(chmod(dir.File("INVEXA.INI").c_str(), 0444), 0);
    Start();
    Find<QCheckBox>("StealthModeCB")->setChecked(true);
    QSignalSpy closed(window.get(), &TRuvolaform::Closed);

    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(closed.count(), 0);
    const std::string path = window->WorkDir() + "/INVEXA.INI";
    EXPECT_EQ(boxes.Texts(TKind::ErrorBox),
              (std::vector<QString>{QString::fromStdString("Unable to write to " + path + ".")}));
    EXPECT_TRUE(window->ChangeFlags().SwitchesChanged);
    EXPECT_EQ(ReadIni(), "[Switches]\r\nStealthMode=0\r\n");

    ASSERT_EQ(chmod(dir.File("INVEXA.INI").c_str(), 0644), 0);
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(invexa::LoadSettings(dir.Path()).StealthMode);
    EXPECT_EQ(boxes.Texts(TKind::ErrorBox).size(), 1u);
}
