// Start-up: the settings load in FormCreate, the merge in FormShow, and what the window shows afterwards.
#include "WindowTest.h"
#include "data/results.h"
#include "forms/admnMain.h"
#include "forms/mergmess.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>

using TKind = TScriptedMessageBoxes::TKind;

namespace {

// Records the text a label holds each time it is painted.
class TPaintRecorder : public QObject {
public:
    explicit TPaintRecorder(QLabel *label) : label_(label) { label->installEventFilter(this); }
    std::vector<QString> Painted;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == label_ && event->type() == QEvent::Paint)
            Painted.push_back(label_->text());
        return false;
    }

private:
    QLabel *label_;
};

QString Cell(const QTableView *grid, int row, int column) {
    return grid->model()->index(row, column).data().toString();
}

} // namespace

TEST_F(WindowTest, StartsWithDesignedDefaultsWithoutSettingsOrScanFiles) {
    CreateDatabase();
    Start();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Invexa Administrator");
    EXPECT_EQ(window->WorkDir(), std::filesystem::current_path().string());
    EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentWidget(), Find<QWidget>("ResultsSheet"));
    for (const char *name : {"UseIgnoreCB", "ScanForExeCB", "StealthModeCB"})
        EXPECT_TRUE(Find<QCheckBox>(name)->isChecked()) << name;
    EXPECT_TRUE(Items("IgnoreLB").empty());
    EXPECT_TRUE(Items("ExeNamesLB").empty());
    EXPECT_TRUE(Find<QLineEdit>("DistributionEB")->text().isEmpty());
    EXPECT_FALSE(window->ChangeFlags().Any());
    EXPECT_EQ(Find<QTableView>("ResultsGrid1")->model()->rowCount(), 0);
    EXPECT_TRUE(DataModule1->resultsTbl.Active());
    EXPECT_FALSE(mergemessFm->isVisible());
    EXPECT_TRUE(boxes.Shown.empty());
}

TEST_F(WindowTest, LoadsSettingsSortedAndLeavesEveryFlagClear) {
    CreateDatabase();
    WriteIni("[Ignore Apps]\r\nzeta=\r\nAlpha\\Tool=\r\nbeta=\r\n"
             "[Switches]\r\nUseIgnoreList=0\r\nSearchForExe=0\r\nStealthMode=0\r\nDistribution=Head Office\r\n"
             "[exe NAMES]\r\nbravo=b.exe\r\nAlpha=a.exe\r\n");
    Start();
    EXPECT_EQ(Items("IgnoreLB"), (std::vector<QString>{"Alpha\\Tool", "beta", "zeta"}));
    EXPECT_EQ(Items("ExeNamesLB"), (std::vector<QString>{"Alpha=a.exe", "bravo=b.exe"}));
    for (const char *name : {"UseIgnoreCB", "ScanForExeCB", "StealthModeCB"})
        EXPECT_FALSE(Find<QCheckBox>(name)->isChecked()) << name;
    EXPECT_EQ(Find<QLineEdit>("DistributionEB")->text(), "Head Office");
    // Unticking the boxes and setting the text during the load notified like edits; the load cleared it last.
    EXPECT_FALSE(window->ChangeFlags().IgnoreListChanged);
    EXPECT_FALSE(window->ChangeFlags().SwitchesChanged);
    EXPECT_FALSE(window->ChangeFlags().ExeNamesChanged);
    EXPECT_TRUE(boxes.Shown.empty());
}

TEST_F(WindowTest, LoadsEightBitTextsOfTheSettingsFile) {
    CreateDatabase();
    WriteIni("[Switches]\r\nDistribution=Caf\xE9 \x80\r\n[Ignore Apps]\r\nSoci\xE9t\xE9=\r\n");
    Start();
    EXPECT_EQ(Find<QLineEdit>("DistributionEB")->text(), QString::fromUtf8("Café €"));
    EXPECT_EQ(Items("IgnoreLB"), (std::vector<QString>{QString::fromUtf8("Société")}));
}

TEST_F(WindowTest, MergesWaitingScanFilesBeforeTheWindowShowsThem) {
    CreateDatabase();
    StoreRow("user01", "Old", "Gone");
    StoreRow("user03", "Kept", "Stays");
    WriteScanFile("ivx/user01.ivx", {Record("Mozilla", "Firefox", "121.0", 1, "C:\\Firefox\\firefox.exe"),
                                     Record("Adobe", "Reader", "23.6", -1, "C:\\Adobe")});
    WriteScanFile("ivx/user02.ivx", {Record("7-Zip", "7-Zip", "23.01", 2, "C:\\7z")});
    Start();
    EXPECT_TRUE(boxes.Shown.empty());
    EXPECT_FALSE(dir.Exists("ivx/user01.ivx"));
    EXPECT_FALSE(dir.Exists("ivx/user02.ivx"));
    auto *grid = Find<QTableView>("ResultsGrid1");
    ASSERT_EQ(grid->model()->rowCount(), 4);
    const QStringList titles = {"UserName", "AppMaker", "AppName", "Version", "Verification", "AppPath"};
    for (int c = 0; c < titles.size(); ++c)
        EXPECT_EQ(grid->model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
    QStringList users;
    for (int r = 0; r < 4; ++r)
        users << Cell(grid, r, 0);
    users.sort();
    EXPECT_EQ(users, (QStringList{"user01", "user01", "user02", "user03"}));
    for (int r = 0; r < 4; ++r) {
        if (Cell(grid, r, 2) == "Reader") {
            EXPECT_EQ(Cell(grid, r, 4), "-1");
            EXPECT_EQ(Cell(grid, r, 5), "C:\\Adobe");
        }
        EXPECT_NE(Cell(grid, r, 2), "Gone");
    }
}

TEST_F(WindowTest, ProgressWindowPaintsEachFileNameWhileTheMergeRuns) {
    CreateDatabase();
    WriteScanFile("ivx/alpha.ivx", {Record("A", "B", "1", 0, "p")});
    WriteScanFile("ivx/bravo.ivx", {Record("C", "D", "1", 0, "p")});
    window = std::make_unique<TRuvolaform>(&boxes);
    Ruvolaform = window.get();
    dataModule = std::make_unique<invexa::TDataModule1>(window->WorkDir());
    DataModule1 = dataModule.get();
    progress = std::make_unique<TmergemessFm>();
    mergemessFm = progress.get();
    TPaintRecorder fileNames(progress->FilenameLbl);
    TPaintRecorder headline(progress->Label1);
    window->show();
    EXPECT_NE(std::find(fileNames.Painted.begin(), fileNames.Painted.end(), "alpha.ivx"), fileNames.Painted.end());
    EXPECT_NE(std::find(fileNames.Painted.begin(), fileNames.Painted.end(), "bravo.ivx"), fileNames.Painted.end());
    ASSERT_FALSE(headline.Painted.empty());
    EXPECT_EQ(headline.Painted.front(), "Merging data files...");
    EXPECT_FALSE(progress->isVisible());
}

TEST_F(WindowTest, ScanFileThatCannotBeMergedIsReportedAfterThePass) {
    CreateDatabase();
    WriteScanFile("ivx/good.ivx", {Record("A", "B", "1", 0, "p")});
    // A text length of 250 is beyond what a scanner writes.
    dir.Write("ivx/bad.ivx", std::string("\xFA\x00\x00\x00", 4) + std::string(250, 'x'));
    Start();
    const auto errors = boxes.Texts(TKind::ErrorBox);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].contains("bad.ivx")) << errors[0].toStdString();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(mergemessFm->isVisible());
    EXPECT_TRUE(dir.Exists("ivx/bad.ivx"));
    EXPECT_FALSE(dir.Exists("ivx/good.ivx"));
    EXPECT_EQ(Find<QTableView>("ResultsGrid1")->model()->rowCount(), 1);
}

TEST_F(WindowTest, MissingResultsTableIsReportedAndTheWindowStillComesUp) {
    WriteScanFile("user01.ivx", {Record("A", "B", "1", 0, "p")});
    Start();
    ASSERT_EQ(boxes.Texts(TKind::ErrorBox).size(), 1u);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(mergemessFm->isVisible());
    EXPECT_EQ(Find<QTableView>("ResultsGrid1")->model()->rowCount(), 0);
}

TEST_F(WindowTest, UnreadableSettingsFileIsReportedAndStartUpGoesOn) {
    CreateDatabase();
    // A UTF-16 settings file is refused rather than misread.
    dir.Write("INVEXA.INI", std::string("\xFF\xFE[\0S\0]\0", 8));
    WriteScanFile("ivx/user01.ivx", {Record("A", "B", "1", 0, "p")});
    Start();
    ASSERT_EQ(boxes.Texts(TKind::ErrorBox).size(), 1u);
    EXPECT_TRUE(window->isVisible());
    // The merge of FormShow still ran.
    EXPECT_EQ(Find<QTableView>("ResultsGrid1")->model()->rowCount(), 1);
    EXPECT_FALSE(window->ChangeFlags().Any());
}
