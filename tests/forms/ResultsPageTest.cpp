// The results page: its tool bars, the legend, and the buttons that export and empty the table.
#include "WindowTest.h"
#include "data/results.h"
#include "forms/admnMain.h"

#include <QAbstractItemModel>
#include <QLabel>
#include <QTableView>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using TKind = TScriptedMessageBoxes::TKind;

class ResultsPageTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        CreateDatabase();
        WriteScanFile("ivx/user01.ivx", {Record("Mozilla", "Firefox", "121.0", 1, "C:\\firefox.exe"),
                                         Record("Adobe", "Reader", "23.6", -1, "C:\\Adobe")});
        Start();
    }
    void Click(const char *name) { QTest::mouseClick(Find<QToolButton>(name), Qt::LeftButton); }
};

TEST_F(ResultsPageTest, ToolBarsCarryTheButtonsWithHintsPicturesAndTheLegend) {
    const std::pair<const char *, const char *> buttons[] = {
        {"EmptyTableBtn", "Empty Table (Fresh Scans)"}, {"CSVBtn", "CSV Output"}, {"AboutBtn", "About"}};
    auto *toolBar = Find<QToolBar>("ToolBar1");
    for (const auto &[name, hint] : buttons) {
        auto *button = Find<QToolButton>(name);
        EXPECT_EQ(button->toolTip(), hint) << name;
        EXPECT_FALSE(button->icon().isNull()) << name;
        EXPECT_TRUE(button->autoRaise()) << name;
        EXPECT_EQ(button->height(), 17) << name;
        EXPECT_TRUE(button->text().isEmpty() || button->toolButtonStyle() == Qt::ToolButtonIconOnly) << name;
        EXPECT_EQ(button->parentWidget(), toolBar) << name;
    }
    EXPECT_LT(Find<QToolButton>("EmptyTableBtn")->x(), Find<QToolButton>("CSVBtn")->x());
    EXPECT_LT(Find<QToolButton>("CSVBtn")->x(), Find<QToolButton>("AboutBtn")->x());
    EXPECT_EQ(Find<QLabel>("Label4")->text(), " Verification Field:  -1=Exe not found   0=Exe Location unknown    "
                                              "1=Exe existance verified    2=On Disk, not in Registry");
    EXPECT_EQ(Find<QLabel>("Label4")->font().pixelSize(), 10);
    EXPECT_LT(Find<QToolBar>("ToolBar1")->y(), Find<QToolBar>("ToolBar2")->y());
    EXPECT_LT(Find<QToolBar>("ToolBar2")->y(), Find<QTableView>("ResultsGrid1")->y());
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(window->font().pixelSize(), 13);
}

TEST_F(ResultsPageTest, GridShowsTheMergedRowsWithDesignedColumnWidths) {
    auto *grid = Find<QTableView>("ResultsGrid1");
    ASSERT_EQ(grid->model()->rowCount(), 2);
    for (int c = 1; c < 6; ++c)
        EXPECT_EQ(grid->columnWidth(c), 64) << c;
    EXPECT_FALSE(grid->isSortingEnabled());
}

TEST_F(ResultsPageTest, CsvButtonWritesTheWholeTable) {
    Click("CSVBtn");
    EXPECT_TRUE(boxes.Shown.empty());
    ASSERT_TRUE(dir.Exists("datadump.csv"));
    const std::string csv = dir.Read("datadump.csv");
    EXPECT_NE(csv.find("\"user01\",\"Mozilla\",\"Firefox\",\"121.0\",1,\"C:\\firefox.exe\"\r\n"), std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\"user01\",\"Adobe\",\"Reader\",\"23.6\",-1,\"C:\\Adobe\"\r\n"), std::string::npos) << csv;
}

TEST_F(ResultsPageTest, EmptyTableButtonEmptiesAndClosesTheTable) {
    Click("EmptyTableBtn");
    EXPECT_TRUE(boxes.Shown.empty());
    EXPECT_FALSE(DataModule1->resultsTbl.Active());
    EXPECT_EQ(Find<QTableView>("ResultsGrid1")->model()->rowCount(), 0);
    DataModule1->resultsTbl.Open();
    EXPECT_EQ(DataModule1->resultsTbl.RecordCount(), 0);
    DataModule1->resultsTbl.Close();
}

TEST_F(ResultsPageTest, ExportAfterEmptyingReportsTheClosedTable) {
    Click("EmptyTableBtn");
    Click("CSVBtn");
    EXPECT_EQ(boxes.Texts(TKind::ErrorBox),
              (std::vector<QString>{"Cannot perform this operation on a closed dataset."}));
    ASSERT_TRUE(dir.Exists("datadump.csv"));
    EXPECT_TRUE(dir.Read("datadump.csv").empty());
    EXPECT_TRUE(window->isVisible());
}
