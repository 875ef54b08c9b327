// The grid's data rules without a window: the cache of row windows and the writes checked against what
// another program changed.
#include "data/RowWindows.h"
#include "data/ResultsPager.h"
#include "support/ResultsFixture.h"

using namespace invexa;
using namespace invexa::test;

namespace {

// Positions are found across gaps in the rowids and after deletes and appends made through the grid, also at
// the pager's checkpoints, while only a few windows of rows are ever held.
TEST(RowWindows, ReadEveryRowInPlaceAcrossGapsDeletesAndAppendsFromAFewWindows) {
    constexpr std::int64_t step = TResultsPager::StepRows;
    TWorkFolder wf;
    std::vector<TResultRow> rows;
    for (int i = 0; i < 3 * step + 77; ++i)
        rows.push_back(Row("u" + std::to_string(i), "M", "A", std::to_string(i), 0, ""));
    wf.Insert(rows);
    wf.dm->database.Connection().exec("DELETE FROM Results WHERE rowid % 5 = 0 OR rowid = 2049");
    TRowWindows windows(wf.dm->Store());
    windows.Reset();
    auto expectAllInPlace = [&] {
        const std::vector<TResultRow> stored = wf.Table().ReadAfter(0, 1 << 30);
        ASSERT_EQ(windows.Count(), static_cast<std::int64_t>(stored.size()));
        for (std::size_t pos = 0; pos < stored.size(); pos += 13)
            ASSERT_EQ(*windows.RowAt(static_cast<std::int64_t>(pos)), stored[pos]) << pos;
        for (std::size_t pos = 0; pos < stored.size(); pos += 97)
            ASSERT_EQ(windows.PositionOf(stored[pos].Bookmark), static_cast<std::int64_t>(pos)) << pos;
        EXPECT_EQ(*windows.RowAt(windows.Count() - 1), stored.back());
        EXPECT_EQ(windows.RowAt(windows.Count()), nullptr);
        EXPECT_LE(windows.CachedRows(), TRowWindows::MaxWindows * TRowWindows::WindowRows);
    };
    expectAllInPlace();
    for (std::int64_t pos : {std::int64_t(0), step, std::int64_t(3000), 2 * step}) {
        const std::int64_t bookmark = windows.RowAt(pos)->Bookmark;
        wf.Table().DeleteRow(bookmark);
        windows.Deleted(bookmark);
        EXPECT_EQ(windows.PositionOf(bookmark), -1) << pos;
        EXPECT_EQ(windows.PositionAtOrAfter(bookmark), pos) << pos;
    }
    TResultRow added = Row("new", "M", "A", "new", 0, "");
    wf.Table().InsertRow(added);
    windows.Appended(added.Bookmark);
    expectAllInPlace();
    added.Version = "w";
    windows.Written(windows.Count() - 1, added);
    EXPECT_EQ(windows.RowAt(windows.Count() - 1)->Version, "w");
}

// Another program (a second administrator's merge, which reuses the bookmarks of the rows it replaces) changed a
// row after the grid read the table at `seen`: an edit of a row it left alone is written, an edit of the row it
// changed is refused, and so is any delete, until the rows are read afresh. Store errors leave in plain words.
TEST(ResultsTable, GridWritesAfterAnotherProgramsChangeAreRefusedUnlessTheirRowIsAsShown) {
    TWorkFolder wf;
    const std::vector<TResultRow> rows =
        wf.Insert({Row("a", "M", "A", "1", 0, ""), Row("b", "M", "A", "2", 0, ""), Row("c", "M", "A", "3", 0, "")});
    TResultsTable &t = wf.Table();
    auto mine = [](TResultRow r) {
        r.AppMaker = "Mine";
        return r;
    };
    const std::int64_t seen = wf.dm->database.DataVersion();
    EXPECT_TRUE(t.UpdateRowIfUnchanged(mine(rows[0]), rows[0], seen));
    SQLite::Database other(wf.DbPath(), SQLite::OPEN_READWRITE);
    other.exec("UPDATE Results SET AppMaker = 'Theirs' WHERE rowid = " + std::to_string(rows[2].Bookmark));
    EXPECT_TRUE(t.UpdateRowIfUnchanged(mine(rows[1]), rows[1], seen));
    EXPECT_FALSE(t.UpdateRowIfUnchanged(mine(rows[2]), rows[2], seen));
    EXPECT_FALSE(t.DeleteIfUnchanged(rows[0].Bookmark, seen));
    EXPECT_EQ(wf.Lines(), (std::vector<std::string>{"a|Mine|A|1|0|", "b|Mine|A|2|0|", "c|Theirs|A|3|0|"}));

    const std::int64_t now = wf.dm->database.DataVersion();
    EXPECT_EQ(t.DeleteIfUnchanged(rows[1].Bookmark, now), mine(rows[1]));
    EXPECT_EQ(t.Current().Text(TField::UserName), "c"); // the cursor moves on as a delete moves it
    EXPECT_EQ(ErrorOf([&] { t.UpdateRowIfUnchanged(rows[1], rows[1], now); }), "That row no longer exists");

    other.exec("BEGIN IMMEDIATE");
    wf.dm->database.Connection().setBusyTimeout(100);
    EXPECT_EQ(ErrorOf([&] { t.DeleteIfUnchanged(rows[0].Bookmark, now); }),
              "The results table " + wf.DbPath() + " is locked by another program; try again when it has finished");
    other.exec("ROLLBACK");
    EXPECT_EQ(wf.Lines().size(), 2u);
}

} // namespace
