// DataSource1, the lazy model over the results table, as the window builds it.
#include "FormsFixture.h"
#include "base/InvexaError.h"

#include <QAbstractItemModelTester>

using invexa::TField;
using ResultsModelTest = FormsTest;

TEST_F(ResultsModelTest, PassesTheModelTesterThroughEditsInsertsAndDeletes) {
    FillTable(300, 7, 11);
    Start();
    TResultsModel *model = Model();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model->InsertNewRow(10);
    ASSERT_TRUE(model->setData(model->index(10, 1), "NewMaker"));
    model->LeaveRow();
    // Stored at the end of the table.
    EXPECT_EQ(model->Text(300, TField::AppMaker), "NewMaker");
    EXPECT_EQ(model->Text(10, TField::AppMaker), "M3");
    model->InsertNewRow(5);
    model->LeaveRow();
    model->DeleteBookmark(model->Bookmark(0));
    model->DeleteBookmark(model->Bookmark(150));
    model->DeleteApplicationOf(model->Bookmark(3));
    EXPECT_EQ(model->rowCount(), static_cast<int>(StoredRows().size()));

    // The same through a window of 100 rows in the middle of the table.
    TResultsModel::Span = 100;
    model->Refresh();
    model->ShiftTo(150);
    model->InsertNewRow(10);
    ASSERT_TRUE(model->setData(model->index(10, 1), "Windowed"));
    model->LeaveRow();
    const std::int64_t next = model->Bookmark(21);
    model->DeleteBookmark(model->Bookmark(20));
    EXPECT_EQ(StoredRows().back().AppMaker, "Windowed");
    EXPECT_EQ(model->Base(), 150);
    EXPECT_EQ(model->Bookmark(20), next);
    EXPECT_EQ(model->rowCount(), 100);
}

// What the grid's tests leave out: the cut to the column's width, and a write that fails.
TEST_F(ResultsModelTest, AnEditIsShownCutToWidthAndKeptWhenItsWriteFails) {
    FillTable(3);
    Start();
    TResultsModel *model = Model();
    ASSERT_TRUE(model->setData(model->index(1, 3), "1234567890"));
    EXPECT_EQ(Shown(1, 3), "123456");
    EXPECT_EQ(StoredRows()[1].Version, "1");
    model->LeaveRow();
    EXPECT_EQ(StoredRows()[1].Version, "123456");

    // Another program removed the row meanwhile: the keyed UPDATE finds nothing.
    ASSERT_TRUE(model->setData(model->index(0, 1), "Changed"));
    dataModule->resultsTbl.DeleteRow(model->Bookmark(0));
    EXPECT_THROW(model->LeaveRow(), invexa::EInvexaError);
    EXPECT_EQ(Shown(0, 1), "Changed");
    model->CancelRow();
    EXPECT_EQ(Shown(0, 1), "M0");
}
