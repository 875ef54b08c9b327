// DataSource1 on its own: the lazy model over the results table and the rules of an edit.
#include "FormsFixture.h"
#include "data/InvexaError.h"
#include "data/ResultsPager.h"

#include <QAbstractItemModelTester>

#include <SQLiteCpp/Database.h>

using invexa::TField;

class ResultsModelTest : public FormsTest {
protected:
    // The table of FillTable, rows removed with the statement first when given, then the model over it.
    void Open(int rows, int makers, int apps, const char *deleteStatement = nullptr) {
        FillTable(rows, makers, apps);
        dataModule = std::make_unique<invexa::TDataModule1>(dir.Path());
        dataModule->resultsTbl.Open();
        if (deleteStatement)
            dataModule->database.Connection().exec(deleteStatement);
        model = std::make_unique<TResultsModel>(*dataModule);
    }
    void TearDown() override {
        model.reset();
        FormsTest::TearDown();
    }
    std::unique_ptr<TResultsModel> model;
};

TEST_F(ResultsModelTest, PassesTheModelTesterThroughEditsInsertsAndDeletes) {
    Open(300, 7, 11);
    QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    QStringList titles;
    for (int c = 0; c < model->columnCount(); ++c)
        titles << model->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(titles, (QStringList{"UserName", "AppMaker", "AppName", "Version", "Verification", "AppPath"}));
    EXPECT_EQ(model->rowCount(), 300);
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
    constexpr std::int64_t step = invexa::TResultsPager::StepRows;
    Open(3 * step + 77, 7, 11, "DELETE FROM Results WHERE rowid % 5 = 0 OR rowid = 2049");
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
    for (std::int64_t row : {std::int64_t(0), step, std::int64_t(3000), 2 * step})
        model->DeleteBookmark(model->Bookmark(static_cast<int>(row)));
    model->InsertNewRow(model->rowCount());
    ASSERT_TRUE(model->setData(model->index(model->rowCount() - 1, 3), "new"));
    model->LeaveRow();
    expectAllInPlace();
    EXPECT_EQ(StoredRows().back().Version, "new");
}

TEST_F(ResultsModelTest, AnEditIsShownAtOnceCutToWidthAndWrittenOnlyWhenTheRowIsLeft) {
    Open(3, 3, 2);
    ASSERT_TRUE(model->setData(model->index(1, 3), "1234567890"));
    ASSERT_TRUE(model->setData(model->index(1, 4), "-7"));
    EXPECT_FALSE(model->setData(model->index(1, 4), "40000"));
    EXPECT_EQ(model->index(1, 3).data().toString(), "123456");
    EXPECT_EQ(model->index(1, 4).data().toString(), "-7");
    EXPECT_EQ(StoredRows()[1].Version, "1");
    model->LeaveRow();
    const auto stored = StoredRows();
    EXPECT_EQ(stored[1].Version, "123456");
    EXPECT_EQ(stored[1].Verification, std::optional<std::int16_t>(-7));
    EXPECT_EQ(stored[0].Version, "0");
    EXPECT_EQ(stored[2].Version, "2");

    // Another program removed the row meanwhile: the keyed UPDATE finds nothing, and the edit is kept.
    ASSERT_TRUE(model->setData(model->index(0, 1), "Changed"));
    dataModule->resultsTbl.DeleteRow(model->Bookmark(0));
    EXPECT_THROW(model->LeaveRow(), invexa::EInvexaError);
    EXPECT_TRUE(model->EditModified());
    EXPECT_EQ(model->index(0, 1).data().toString(), "Changed");
    model->CancelRow();
    EXPECT_EQ(model->index(0, 1).data().toString(), "M0");
}
