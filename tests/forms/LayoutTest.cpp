// The setup page's arrangement at every size of the main window's client area.
#include "WindowTest.h"
#include "forms/admnMain.h"

#include <QCoreApplication>
#include <QTabWidget>

#include <map>

namespace {

struct TPlace {
    int Left, Top, Width = -1, Height = -1; // -1: not checked
};
using TPlaces = std::map<std::string, TPlace>;

// The worked values for the designed client area, 752 x 473.
const TPlaces DesignSize = {
    {"IgnoreLB", {0, 70, 369, 289}}, {"Bevel1", {376, 24, 4, 313}},  {"ExeNamesLB", {384, 70, 360, 289}},
    {"AppLbl", {328, 368}},          {"ApplicationEB", {296, 384}},  {"CloseBtn", {336, 416}},
    {"ExeNameLbl", {569, 368}},      {"ExeNameEB", {545, 384}},      {"AddExeBtn", {449, 416}},
    {"DelExeBtn", {577, 416}},       {"ScanForExeCB", {400, 24}},    {"Makerlbl", {48, 368}},
    {"MakerEB", {0, 384, 177, 24}},  {"AddBtn", {48, 416, 105, 25}}, {"DeleteBtn", {192, 416, 97, 25}},
};
// The smallest layout, for any client area up to 743 x 500.
const TPlaces Smallest = {
    {"IgnoreLB", {0, 70, 364, 289}}, {"Bevel1", {371, 24, 4, 313}}, {"ExeNamesLB", {379, 70, 356, 289}},
    {"AppLbl", {323, 368}},          {"ApplicationEB", {291, 384}}, {"CloseBtn", {331, 416}},
    {"ExeNameLbl", {560, 368}},      {"ExeNameEB", {536, 384}},     {"AddExeBtn", {440, 416}},
    {"DelExeBtn", {568, 416}},       {"ScanForExeCB", {395, 24}},
};
const TPlaces Large = {
    {"IgnoreLB", {0, 70, 493, 489}}, {"Bevel1", {500, 24, 4, 513}},  {"ExeNamesLB", {508, 70, 484, 489}},
    {"AppLbl", {452, 568}},          {"ApplicationEB", {420, 584}},  {"CloseBtn", {460, 616}},
    {"ExeNameLbl", {817, 568}},      {"ExeNameEB", {793, 584}},      {"AddExeBtn", {697, 616}},
    {"DelExeBtn", {825, 616}},       {"ScanForExeCB", {524, 24}},    {"Makerlbl", {48, 568}},
    {"MakerEB", {0, 584, 177, 24}},  {"AddBtn", {48, 616, 105, 25}}, {"DeleteBtn", {192, 616, 97, 25}},
};

} // namespace

class LayoutTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        CreateDatabase();
        Start();
    }
    void ExpectPlaces(const TPlaces &places) {
        for (const auto &[name, want] : places) {
            const QRect got = Find<QWidget>(name.c_str())->geometry();
            EXPECT_EQ(got.left(), want.Left) << name;
            EXPECT_EQ(got.top(), want.Top) << name;
            if (want.Width >= 0) {
                EXPECT_EQ(got.width(), want.Width) << name;
            }
            if (want.Height >= 0) {
                EXPECT_EQ(got.height(), want.Height) << name;
            }
        }
    }
    int Left(const char *name) { return Find<QWidget>(name)->x(); }
};

TEST_F(LayoutTest, DesignedClientAreaAtStart) {
    EXPECT_EQ(window->size(), QSize(752, 473));
    ExpectPlaces(DesignSize);
    EXPECT_EQ(Left("Label3"), 392);
    // The page control fills the client area.
    EXPECT_EQ(Find<QWidget>("PageControl1")->geometry(), QRect(0, 0, 752, 473));
}

TEST_F(LayoutTest, SmallClientAreaGivesTheSmallestLayout) {
    ResizeClient(600, 400);
    ExpectPlaces(Smallest);
    EXPECT_EQ(Left("Label3"), 387);
    ResizeClient(743, 500);
    ExpectPlaces(Smallest);
}

TEST_F(LayoutTest, LargeClientAreaStretchesTheListsAndMovesTheRows) {
    ResizeClient(1000, 700);
    ExpectPlaces(Large);
    EXPECT_EQ(Left("Label3"), 516);
    // Back to the design size: the rule is applied at every change, not once.
    ResizeClient(752, 473);
    ExpectPlaces(DesignSize);
}

TEST_F(LayoutTest, OddWidthDropsTheRemainderOfTheSplit) {
    ResizeClient(1001, 700);
    TPlaces odd = Large;
    odd["ExeNamesLB"].Width += 1;
    for (const char *name : {"ExeNameLbl", "ExeNameEB", "AddExeBtn", "DelExeBtn"})
        odd[name].Left += 1;
    ExpectPlaces(odd);
    EXPECT_EQ(Left("Label3"), 516);
}

TEST_F(LayoutTest, TopStripNeverMoves) {
    ResizeClient(1000, 700);
    EXPECT_EQ(Find<QWidget>("DistributionEB")->geometry(), QRect(80, 0, 177, 24));
    EXPECT_EQ(Find<QWidget>("UseIgnoreCB")->geometry(), QRect(8, 24, 145, 25));
    EXPECT_EQ(Find<QWidget>("StealthModeCB")->geometry(), QRect(136, 24, 113, 25));
    EXPECT_EQ(Find<QWidget>("StaticText1")->geometry(), QRect(0, 48, 357, 20));
    EXPECT_EQ(Find<QWidget>("Label1")->pos(), QPoint(8, 8));
    EXPECT_EQ(Find<QWidget>("Label3")->y(), 48);
    EXPECT_EQ(Find<QWidget>("ScanForExeCB")->size(), QSize(185, 25));
}

TEST_F(LayoutTest, ResizingWhileTheResultsPageIsActiveRearrangesTheSetupPage) {
    auto *pages = Find<QTabWidget>("PageControl1");
    ASSERT_EQ(pages->currentWidget(), Find<QWidget>("ResultsSheet"));
    ResizeClient(1000, 700);
    ExpectPlaces(Large);
    pages->setCurrentWidget(Find<QWidget>("setupSheet"));
    QCoreApplication::processEvents();
    ExpectPlaces(Large);
}
