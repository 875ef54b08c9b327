// Start-up (the settings load in FormCreate, the merge in FormShow), the close that saves, and the about box.
#include "FormsFixture.h"
#include "config/ScanSettings.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QToolButton>

#include <sys/stat.h>

namespace {
// Records the text a label holds each time it is painted.
struct TPaintRecorder : QObject {
    explicit TPaintRecorder(QLabel *label) { label->installEventFilter(this); }
    bool eventFilter(QObject *label, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            Painted << static_cast<QLabel *>(label)->text();
        return false;
    }
    QStringList Painted;
};
} // namespace

using StartupTest = FormsTest;

TEST_F(StartupTest, WithoutSettingsOrScanFilesShowsDefaultsAndAnUneditedCloseWritesNothing) {
    Start();
    EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentWidget(), Find<QWidget>("ResultsSheet"));
    for (const char *name : {"UseIgnoreCB", "ScanForExeCB", "StealthModeCB"})
        EXPECT_TRUE(Find<QCheckBox>(name)->isChecked()) << name;
    EXPECT_EQ(Items("IgnoreLB") + Items("ExeNamesLB"), "");
    EXPECT_TRUE(DataModule1->resultsTbl.Active());
    EXPECT_EQ(Model()->rowCount(), 0);
    EXPECT_FALSE(progress->isVisible());
    // The pictures come from the program's resources.
    EXPECT_FALSE(window->windowIcon().isNull());
    for (const char *name : {"EmptyTableBtn", "CSVBtn", "AboutBtn"})
        EXPECT_FALSE(Find<QToolButton>(name)->icon().isNull()) << name;

    QSignalSpy closed(window.get(), &TRuvolaform::Closed);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(dir.Exists("INVEXA.INI"));
    EXPECT_EQ(boxes.Shown, QStringList());
}

TEST_F(StartupTest, LoadsTheSettingsFileSortedAsEightBitTextAndClearsTheFlagsLast) {
    dir.Write("INVEXA.INI", "[Ignore Apps]\r\nzeta=\r\nSoci\xE9t\xE9=\r\nAlpha\\Tool=\r\nbeta=\r\n"
                            "[Switches]\r\nUseIgnoreList=0\r\nSearchForExe=0\r\nStealthMode=0\r\n"
                            "Distribution=Caf\xE9 \x80\r\n[exe NAMES]\r\nbravo=b.exe\r\nAlpha=a.exe\r\n");
    Start();
    EXPECT_EQ(Items("IgnoreLB"), "Alpha\\Tool|beta|Société|zeta");
    EXPECT_EQ(Items("ExeNamesLB"), "Alpha=a.exe|bravo=b.exe");
    for (const char *name : {"UseIgnoreCB", "ScanForExeCB", "StealthModeCB"})
        EXPECT_FALSE(Find<QCheckBox>(name)->isChecked()) << name;
    EXPECT_EQ(Find<QLineEdit>("DistributionEB")->text(), QString::fromUtf8("Café €"));
    // Unticking the boxes and setting the text notified like edits; the load cleared the flags after them.
    EXPECT_FALSE(window->ChangeFlags().Any());
    EXPECT_EQ(boxes.Shown, QStringList());
}

TEST_F(StartupTest, MergesScanFilesBehindTheProgressWindowBeforeTheWindowShows) {
    WriteScanFile("alpha.ivx", {{"Mozilla", "Firefox"}, {"Adobe", "Reader"}});
    WriteScanFile("bravo.ivx", {{"7-Zip", "7-Zip"}});
    std::unique_ptr<TPaintRecorder> fileNames, headline;
    Start(nullptr, [&] {
        fileNames = std::make_unique<TPaintRecorder>(progress->FilenameLbl);
        headline = std::make_unique<TPaintRecorder>(progress->Label1);
    });
    EXPECT_TRUE(fileNames->Painted.contains("alpha.ivx") && fileNames->Painted.contains("bravo.ivx"));
    EXPECT_EQ(headline->Painted.value(0), "Merging data files...");
    EXPECT_FALSE(progress->isVisible());
    EXPECT_FALSE(dir.Exists("ivx/alpha.ivx") || dir.Exists("ivx/bravo.ivx"));
    ASSERT_EQ(Model()->rowCount(), 3);
    EXPECT_EQ(Shown(0, 0), "alpha");
    EXPECT_EQ(Shown(2, 2), "7-Zip");
    EXPECT_EQ(boxes.Shown, QStringList());
}

TEST_F(StartupTest, ErrorsInFormCreateAndFormShowAreReportedAndStartUpGoesOn) {
    // A UTF-16 settings file is refused rather than misread; a text length of 250 is beyond what a scanner writes.
    dir.Write("INVEXA.INI", std::string("\xFF\xFE[\0S\0]\0", 8));
    WriteScanFile("good.ivx", {{"A", "B"}});
    dir.Write("ivx/bad.ivx", std::string("\xFA\x00\x00\x00", 4) + std::string(250, 'x'));
    Start();
    const QStringList errors = boxes.Shown;
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_TRUE(errors[0].startsWith("Error: ") && errors[0].contains("UTF-16") && errors[1].contains("bad.ivx"))
        << errors.join(" | ").toStdString();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(progress->isVisible());
    EXPECT_FALSE(window->ChangeFlags().Any());
    EXPECT_TRUE(dir.Exists("ivx/bad.ivx"));
    EXPECT_EQ(Model()->rowCount(), 1);
}

TEST_F(StartupTest, CloseButtonSavesOnlyTheEditedGroups) {
    std::string ini = "[Ignore Apps]\r\nIntel=\r\nSoci\xE9t\xE9=\r\n[Switches]\r\nStealthMode=0\r\n"
                      "[EXE Names]\r\nA=a.exe\r\n";
    dir.Write("INVEXA.INI", ini);
    Start();
    // Someone else changes the switches meanwhile; only the two lists are edited here.
    ini[ini.find("StealthMode=0") + 12] = '1';
    dir.Write("INVEXA.INI", ini);
    Find<QLineEdit>("MakerEB")->setText("Adobe");
    Find<QLineEdit>("ApplicationEB")->setText("Reader");
    Find<QLineEdit>("ExeNameEB")->setText("AcroRd32.exe");
    ClickButton("AddBtn");
    ClickButton("AddExeBtn");
    Find<QListWidget>("IgnoreLB")->setCurrentRow(1);
    ClickButton("DeleteBtn");
    Find<QListWidget>("ExeNamesLB")->setCurrentRow(0);
    ClickButton("DelExeBtn");
    QSignalSpy closed(window.get(), &TRuvolaform::Closed);
    ClickButton("CloseBtn");
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(window->isVisible());
    const invexa::TScanSettings saved = invexa::LoadSettings(dir.Path());
    EXPECT_EQ(saved.IgnoreList, (std::vector<std::string>{"Adobe\\Reader", "Soci\xE9t\xE9"}));
    EXPECT_EQ(saved.ExeNames, (std::vector<std::string>{"Reader=AcroRd32.exe"}));
    EXPECT_TRUE(saved.StealthMode);
    EXPECT_EQ(boxes.Shown, QStringList());
}

TEST_F(StartupTest, FailedSaveKeepsTheWindowOpenAndALaterCloseSavesAgain) {
    dir.Write("INVEXA.INI", "[Switches]\r\nStealthMode=0\r\n");
    ASSERT_EQ(chmod(dir.File("INVEXA.INI").c_str(), 0444), 0);
    Start();
    Find<QCheckBox>("StealthModeCB")->setChecked(true);
    QSignalSpy closed(window.get(), &TRuvolaform::Closed);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_EQ(boxes.Shown,
              QStringList{"Error: Unable to write to " + QString::fromStdString(window->WorkDir()) + "/INVEXA.INI."});
    EXPECT_EQ(dir.Read("INVEXA.INI"), "[Switches]\r\nStealthMode=0\r\n");

    ASSERT_EQ(chmod(dir.File("INVEXA.INI").c_str(), 0644), 0);
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(invexa::LoadSettings(dir.Path()).StealthMode);
    EXPECT_EQ(boxes.Shown.size(), 1u);
}

TEST_F(StartupTest, AboutBoxIsOneNonModalBoxCentredFirstThenWhereItWasHidden) {
    Start();
    ClickButton("AboutBtn");
    ClickButton("AboutBtn");
    ASSERT_TRUE(QTest::qWaitFor([this] { return aboutBox->isVisible(); }));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    int shown = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        shown += qobject_cast<TAboutBox *>(w) && w->isVisible();
    EXPECT_EQ(shown, 1);
    const QPoint offCentre = aboutBox->frameGeometry().center() - aboutBox->screen()->availableGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 2);

    aboutBox->move(40, 50);
    ASSERT_TRUE(QTest::qWaitFor([this] { return aboutBox->pos() == QPoint(40, 50); }));
    QTest::mouseClick(aboutBox->OKButton, Qt::LeftButton);
    EXPECT_FALSE(aboutBox->isVisible());
    ClickButton("AboutBtn");
    ASSERT_TRUE(QTest::qWaitFor([this] { return aboutBox->isVisible(); }));
    EXPECT_EQ(aboutBox->pos(), QPoint(40, 50));
    // Without a Cancel button Escape does nothing; Enter presses OK.
    QTest::keyClick(aboutBox.get(), Qt::Key_Escape);
    EXPECT_TRUE(aboutBox->isVisible());
    QTest::keyClick(aboutBox.get(), Qt::Key_Return);
    EXPECT_FALSE(aboutBox->isVisible());
}
