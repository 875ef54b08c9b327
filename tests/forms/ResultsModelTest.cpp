// DataSource1, the lazy model over the results table, as the window builds it.
#include "FormsFixture.h"
#include "base/InvexaError.h"
#include "data/ResultsPager.h"

#include <QAbstractItemModelTester>

#include <SQLiteCpp/Database.h>

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
}

// Positions are found across gaps in the rowids and after deletes and appends made through the grid, also at
// the pager's checkpoints, while only a few windows of rows are ever held.
TEST_F(ResultsModelTest, ReadsEveryRowInPlaceFromAFewWindowsAcrossGapsDeletesAndAppends) {
    constexpr int step = invexa::TResultsPager::StepRows;
    FillTable(3 * step + 77, 7, 11);
    invexa::TDataModule1(dir.Path())
        .database.Connection()
        .exec("DELETE FROM Results WHERE rowid % 5 = 0 OR rowid = 2049");
    Start();
    TResultsModel *model = Model();
    auto expectAllInPlace = [&] {
        const std::vector<invexa::TResultRow> stored = StoredRows();
        ASSERT_EQ(model->rowCount(), static_cast<int>(stored.size()));
        for (std::size_t row = 0; row < stored.size(); row += 13)
            ASSERT_EQ(model->Text(static_cast<int>(row), TField::Version), stored[row].Version) << row;
        for (std::size_t row = 0; row < stored.size(); row += 97)
            ASSERT_EQ(model->RowOfBookmark(stored[row].Bookmark), static_cast<int>(row)) << row;
        EXPECT_EQ(model->Text(model->rowCount() - 1, TField::Version), stored.back().Version);
        EXPECT_LE(model->CachedRows(), TResultsModel::MaxWindows * TResultsModel::WindowRows);
    };
    expectAllInPlace();
    for (int row : {0, step, 3000, 2 * step})
        model->DeleteBookmark(model->Bookmark(row));
    model->InsertNewRow(model->rowCount());
    ASSERT_TRUE(model->setData(model->index(model->rowCount() - 1, 3), "new"));
    model->LeaveRow();
    expectAllInPlace();
    EXPECT_EQ(StoredRows().back().Version, "new");
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
