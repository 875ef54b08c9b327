// DataSource1: the lazy model over the results table, its position pager, and the rules of an edit.
#include "GridFixture.h"
#include "data/InvexaError.h"
#include "data/ResultsPager.h"

#include <QAbstractItemModelTester>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

using invexa::TField;

namespace {
std::vector<std::int64_t> AllRowids(SQLite::Database &db) {
    std::vector<std::int64_t> rowids;
    SQLite::Statement st(db, "SELECT rowid FROM Results ORDER BY rowid");
    while (st.executeStep())
        rowids.push_back(st.getColumn(0).getInt64());
    return rowids;
}
} // namespace

class ResultsModelTest : public GridFixture {};

TEST_F(ResultsModelTest, PagerFindsEveryPositionAcrossGapsAndAfterDeletesAndAppends) {
    const int n = 3 * static_cast<int>(invexa::TResultsPager::StepRows) + 77;
    FillMany(n);
    SQLite::Database &db = data->database.Connection();
    // Gaps, also on what will be checkpoint rows: every fifth row and the row at position StepRows.
    db.exec("DELETE FROM Results WHERE rowid % 5 = 0 OR rowid = 2049");
    invexa::TResultsPager pager(data->database);
    std::vector<std::int64_t> expected = AllRowids(db);
    ASSERT_EQ(pager.Count(), static_cast<std::int64_t>(expected.size()));
    auto checkAll = [&] {
        for (std::size_t pos = 0; pos < expected.size(); pos += 13)
            ASSERT_EQ(pager.RowidAt(static_cast<std::int64_t>(pos)), expected[pos]) << pos;
        for (std::size_t pos = 0; pos < expected.size(); pos += 97)
            ASSERT_EQ(pager.PositionOf(expected[pos]), static_cast<std::int64_t>(pos)) << pos;
        EXPECT_EQ(pager.RowidAt(static_cast<std::int64_t>(expected.size())), 0);
        EXPECT_EQ(pager.RowidAt(static_cast<std::int64_t>(expected.size()) - 1), expected.back());
    };
    checkAll();
    ASSERT_TRUE(pager.HasCheckpoints());

    // Deleting checkpoint rows and others one by one keeps the checkpoints true without a new scan.
    for (std::int64_t pos :
         {std::int64_t(0), invexa::TResultsPager::StepRows, std::int64_t(3000), 2 * invexa::TResultsPager::StepRows}) {
        const std::int64_t rowid = expected[static_cast<std::size_t>(pos)];
        data->resultsTbl.DeleteRow(rowid);
        pager.NoteDeleted(rowid);
        expected.erase(expected.begin() + pos);
    }
    invexa::TResultRow added;
    data->resultsTbl.InsertRow(added);
    pager.NoteAppended(added.Bookmark);
    expected.push_back(added.Bookmark);
    ASSERT_TRUE(pager.HasCheckpoints());
    ASSERT_EQ(pager.Count(), static_cast<std::int64_t>(expected.size()));
    checkAll();
    EXPECT_EQ(pager.Existing({expected[5], 5, expected[7]}), (std::vector<std::int64_t>{expected[5], expected[7]}));
}

TEST_F(ResultsModelTest, PassesTheModelTesterThroughEditsInsertsAndDeletes) {
    FillMany(300);
    Show();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model->rowCount(), 300);
    EXPECT_EQ(model->headerData(4, Qt::Horizontal).toString(), "Verification");
    EXPECT_EQ(model->headerData(5, Qt::Horizontal).toString(), "AppPath");
    model->InsertNewRow(10);
    ASSERT_TRUE(model->setData(model->index(10, 1), "NewMaker"));
    model->LeaveRow();
    EXPECT_EQ(model->Text(300, TField::AppMaker), "NewMaker");
    EXPECT_EQ(model->Text(10, TField::AppMaker), "M3");
    model->InsertNewRow(5);
    model->LeaveRow();
    model->DeleteBookmark(model->Bookmark(0));
    model->DeleteBookmark(model->Bookmark(150));
    model->DeleteApplicationOf(model->Bookmark(3));
    model->Refresh();
    EXPECT_EQ(model->rowCount(), static_cast<int>(StoredRows().size()));
}

TEST_F(ResultsModelTest, ReadsOnlyWindowsNearWhatIsShownAndKeepsFewOfThem) {
    FillMany(5000);
    Show();
    for (int row = 0; row < model->rowCount(); row += 50)
        EXPECT_EQ(model->Text(row, TField::UserName), "u" + std::to_string(row));
    EXPECT_LE(model->CachedRows(), TResultsModel::MaxWindows * TResultsModel::WindowRows);
    EXPECT_EQ(model->Text(4999, TField::AppPath), "C:\\p4999");
}

TEST_F(ResultsModelTest, AnEditReachesTheTableOnlyWhenTheRowIsLeftAndIsCutToWidth) {
    FillMany(3);
    Show();
    const std::int64_t bookmark = model->Bookmark(1);
    ASSERT_TRUE(model->setData(model->index(1, 3), "1234567890"));
    ASSERT_TRUE(model->setData(model->index(1, 4), "-7"));
    // Shown at once, not yet written.
    EXPECT_EQ(Shown(1, 3), "123456");
    EXPECT_EQ(StoredRows()[1].Version, "1");
    model->LeaveRow();
    data->resultsTbl.GotoBookmark(bookmark);
    EXPECT_EQ(data->resultsTbl.AsString(TField::Version), "123456");
    EXPECT_EQ(data->resultsTbl.AsInteger(TField::Verification), -7);
    EXPECT_EQ(StoredRows()[0].Version, "0");
    EXPECT_EQ(StoredRows()[2].Version, "2");
}

TEST_F(ResultsModelTest, VerificationTakesOnlyWholeNumbersInTheSmallintRange) {
    FillMany(2);
    Show();
    EXPECT_TRUE(model->Validate(4, "-32768").isEmpty());
    EXPECT_TRUE(model->Validate(4, "32767").isEmpty());
    EXPECT_TRUE(model->Validate(4, "").isEmpty());
    for (const char *bad : {"32768", "-32769", "1.5", "abc", "1e3", " 1"}) {
        EXPECT_TRUE(model->Validate(4, bad).contains("Verification")) << bad;
        EXPECT_FALSE(model->setData(model->index(0, 4), bad)) << bad;
    }
    EXPECT_TRUE(model->Validate(1, QString(300, 'x')).isEmpty());
    EXPECT_FALSE(model->EditModified());
}

TEST_F(ResultsModelTest, AWriteThatFailsKeepsTheEditAndTheCachedRow) {
    FillMany(2);
    Show();
    const std::int64_t bookmark = model->Bookmark(0);
    ASSERT_TRUE(model->setData(model->index(0, 1), "Changed"));
    // Another program removed the row meanwhile: the keyed UPDATE finds nothing.
    data->resultsTbl.DeleteRow(bookmark);
    EXPECT_THROW(model->LeaveRow(), invexa::EInvexaError);
    EXPECT_TRUE(model->EditModified());
    EXPECT_EQ(Shown(0, 1), "Changed");
    model->CancelRow();
    EXPECT_EQ(Shown(0, 1), "M0");
}
