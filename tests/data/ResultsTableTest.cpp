#include "support/ResultsFixture.h"

using namespace invexa;
using namespace invexa::test;

namespace {

const std::string Cols = "UserName VARCHAR(16), AppMaker VARCHAR(32), AppName VARCHAR(32), Version VARCHAR(6), ";

void MakeTable(const std::string &folder, const std::string &createSql) {
    SQLite::Database db(folder + "/" + TResultsDatabase::FileName, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    db.exec(createSql);
}

TEST(ResultsTableOpen, ChecksColumnsAndTheirTypes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"CREATE TABLE Results (" + Cols + "Verification SMALLINT)", "Field 'AppPath' not found"},
        {"CREATE TABLE Results (" + Cols + "AppPath VARCHAR(255), Verification VARCHAR(6))",
         "Type mismatch for field 'Verification', expecting: SmallInt actual: String"},
        {"CREATE TABLE Results (UserName VARCHAR(16), AppMaker INTEGER, AppName VARCHAR(32), Version "
         "VARCHAR(6), AppPath VARCHAR(255), Verification SMALLINT)",
         "Type mismatch for field 'AppMaker', expecting: String actual: Integer"},
        {"CREATE TABLE Results (" + Cols + "AppPath VARCHAR(255))", "Field 'Verification' not found"},
        // Other widths and letter case of the table and column names are not refused.
        {"CREATE TABLE results (" + Cols + "AppPath VARCHAR(255), Verification INTEGER)", ""},
        {"CREATE TABLE Results (username VARCHAR(99), APPMAKER VARCHAR(10), AppName TEXT, Version CHAR(6), "
         "AppPath VARCHAR(255), Verification SMALLINT)",
         ""},
    };
    for (const auto &[sql, message] : cases) {
        TTempDir dir;
        MakeTable(dir.Path(), sql);
        TDataModule1 dm(dir.Path());
        if (message.empty()) {
            dm.resultsTbl.Open();
            EXPECT_TRUE(dm.resultsTbl.Active());
            EXPECT_FALSE(TResultsDatabase::Create(dir.Path())) << sql; // init sees the table and keeps it
        } else {
            EXPECT_EQ(ErrorOf([&] { dm.resultsTbl.Open(); }), message);
            EXPECT_FALSE(dm.resultsTbl.Active());
        }
    }
}

TEST(ResultsTableOpen, MissingFileOrTableNamesTheFolderAndInit) {
    TTempDir noFile, noTable;
    MakeTable(noTable.Path(), "CREATE TABLE Other (x INTEGER)");
    for (const TTempDir *dir : {&noFile, &noTable}) {
        TDataModule1 dm(dir->Path());
        std::string message = ErrorOf([&] { dm.resultsTbl.Open(); });
        EXPECT_NE(message.find(dir->Path()), std::string::npos) << message;
        EXPECT_NE(message.find("invexa init"), std::string::npos) << message;
    }
    EXPECT_FALSE(noFile.Exists(TResultsDatabase::FileName)); // opening never creates it
}

TEST(ResultsTableOpen, AddsTheUserNameIndexWhenMissing) {
    TTempDir dir;
    MakeTable(dir.Path(), "CREATE TABLE Results (" + Cols + "AppPath VARCHAR(255), Verification SMALLINT)");
    TDataModule1 dm(dir.Path());
    dm.resultsTbl.Open();
    SQLite::Database db(dir.File(TResultsDatabase::FileName), SQLite::OPEN_READONLY);
    SQLite::Statement st(db, "SELECT count(*) FROM pragma_index_list('Results') l, pragma_index_info(l.name) i "
                             "WHERE i.name = 'UserName'");
    ASSERT_TRUE(st.executeStep());
    EXPECT_EQ(st.getColumn(0).getInt(), 1);
}

TEST(ResultsTable, ClosedTableRefusesEveryOperation) {
    TWorkFolder wf;
    TResultsTable &t = wf.Table();
    const std::vector<std::function<void()>> ops = {
        [&] { t.First(); },           [&] { t.Next(); },          [&] { t.Last(); },
        [&] { t.Append(); },          [&] { t.Delete(); },        [&] { t.GotoBookmark(1); },
        [&] { t.RecordCount(); },     [&] { t.ReadAfter(0, 5); }, [&] { t.ReadBefore(9, 5); },
        [&] { t.DeleteRow(1); },
    };
    for (const auto &op : ops)
        EXPECT_EQ(ErrorOf(op), "Cannot perform this operation on a closed dataset");
}

TEST(ResultsTable, DeleteOnAnEmptyTableIsRefused) {
    TWorkFolder wf;
    wf.Table().Open();
    EXPECT_TRUE(wf.Table().Eof());
    EXPECT_EQ(ErrorOf([&] { wf.Table().Delete(); }), "Cannot perform this operation on an empty dataset");
}

TEST(ResultsTable, AppendCutsTextsToColumnWidths) {
    TWorkFolder wf;
    TResultsTable &t = wf.Table();
    t.Open();
    t.Append();
    t.SetField(TField::UserName, "abcdefghijklmnopqrst");
    t.SetField(TField::AppMaker, std::string(40, 'm'));
    t.SetField(TField::AppName, std::string("App\0Hidden", 10));
    t.SetField(TField::Version, "1.2.3.4.5");
    t.SetField(TField::AppPath, std::string(201, 'p'));
    t.SetField(TField::Verification, -1);
    t.Post();
    EXPECT_EQ(wf.Sql("SELECT UserName, length(AppMaker), AppName, Version, length(AppPath), Verification FROM "
                     "Results"),
              (std::vector<std::vector<std::string>>{{"abcdefghijklmnop", "32", "App", "1.2.3.", "201", "-1"}}));
    wf.Restart();
    wf.Table().Open();
    EXPECT_EQ(wf.Table().AsString(TField::UserName), "abcdefghijklmnop");
    EXPECT_EQ(wf.Table().AsInteger(TField::Verification), -1);
    EXPECT_EQ(wf.Table().AsString(TField::Verification), "-1");
}

TEST(ResultsTable, EightBitTextIsStoredAsUtf8AndReadBackUnchanged) {
    TWorkFolder wf;
    const std::string user(16, '\xE9'), maker = "\x81\x8D\x8F\x90\x9D\x80";
    wf.Insert({Row(user + "\xE9", maker, "Caf\xE9", "\x99", 1, "D:\\\xFF")});
    EXPECT_EQ(wf.Sql("SELECT length(UserName), AppMaker, AppName, hex(Version) FROM Results"),
              (std::vector<std::vector<std::string>>{
                  {"16", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D\xE2\x82\xAC", "Caf\xC3\xA9", "E284A2"}}));
    wf.Restart();
    EXPECT_EQ(wf.Lines(), std::vector<std::string>{user + "|" + maker + "|Caf\xE9|\x99|1|D:\\\xFF"});
}

TEST(ResultsTable, EmptyRemovesEveryRowAndLeavesTheTableClosed) {
    TWorkFolder wf;
    wf.Insert({Row("a", "m", "x", "1", 1, "p"), Row("b", "m", "x", "1", 1, "p")});
    wf.Table().Close();
    wf.Table().Empty();
    EXPECT_FALSE(wf.Table().Active());
    EXPECT_EQ(wf.Sql("SELECT count(*) FROM Results")[0][0], "0");
}

TEST(ResultsTable, CursorWalksInNaturalOrderAndFollowsDeletes) {
    TWorkFolder wf;
    wf.Insert({Row("a", "", "", "", 0, ""), Row("b", "", "", "", 1, ""), Row("c", "", "", "", std::nullopt, "")});
    TResultsTable &t = wf.Table();
    std::vector<std::string> walked;
    for (t.First(); !t.Eof(); t.Next())
        walked.push_back(t.AsString(TField::UserName) + t.AsString(TField::Verification));
    EXPECT_EQ(walked, (std::vector<std::string>{"a0", "b1", "c"}));
    EXPECT_EQ(t.AsString(TField::UserName), "c"); // the last row stays current after the walk
    EXPECT_EQ(t.AsInteger(TField::Verification), 0);

    std::vector<TResultRow> rows = t.ReadAfter(0, 10);
    t.GotoBookmark(rows[1].Bookmark);
    EXPECT_EQ(t.AsString(TField::UserName), "b");
    t.Delete(); // the next row becomes current
    EXPECT_EQ(t.AsString(TField::UserName), "c");
    t.Delete(); // no next row: the one before
    EXPECT_EQ(t.AsString(TField::UserName), "a");
    t.Last();
    EXPECT_EQ(t.Bookmark(), rows[0].Bookmark);
    t.Delete();
    EXPECT_FALSE(t.HasCurrent());
    EXPECT_EQ(t.RecordCount(), 0);
    EXPECT_EQ(ErrorOf([&] { t.Delete(); }), "Cannot perform this operation on an empty dataset");
    EXPECT_EQ(ErrorOf([&] { t.GotoBookmark(rows[1].Bookmark); }), "Record not found");
}

TEST(ResultsTable, ReadsWindowsOfRowsByBookmark) {
    TWorkFolder wf;
    std::vector<TResultRow> rows;
    for (int i = 0; i < 10; ++i)
        rows.push_back(Row("u" + std::to_string(i), "", "", "", i, ""));
    rows = wf.Insert(rows);
    TResultsTable &t = wf.Table();
    auto users = [](const std::vector<TResultRow> &rs) {
        std::string s;
        for (const TResultRow &r : rs)
            s += r.UserName + " ";
        return s;
    };
    EXPECT_EQ(t.RecordCount(), 10);
    EXPECT_EQ(users(t.ReadAfter(rows[2].Bookmark, 4)), "u3 u4 u5 u6 ");
    EXPECT_EQ(users(t.ReadAfter(rows[8].Bookmark, 4)), "u9 ");
    EXPECT_EQ(users(t.ReadBefore(rows[8].Bookmark, 3)), "u5 u6 u7 ");
    EXPECT_EQ(users(t.ReadBefore(rows[1].Bookmark, 5)), "u0 ");
    t.DeleteRow(rows[4].Bookmark);
    EXPECT_EQ(users(t.ReadAfter(rows[2].Bookmark, 3)), "u3 u5 u6 ");
}

TEST(ResultsTable, KeyedWritesTouchOnlyTheirRow) {
    TWorkFolder wf;
    wf.Insert({Row("a", "m", "x", "1", 1, "p"), Row("b", "m", "x", "1", 1, "p")});
    TResultsTable &t = wf.Table();
    std::vector<TResultRow> rows = t.ReadAfter(0, 10);
    TResultRow changed = Row("A", "M\xE9", "X", "2", std::nullopt, "");
    changed.Bookmark = rows[0].Bookmark;
    t.UpdateRow(changed);
    TResultRow added = Row("c", "", "", "", -1, "q");
    t.InsertRow(added);
    EXPECT_GT(added.Bookmark, rows[1].Bookmark);
    EXPECT_EQ(wf.Lines(), (std::vector<std::string>{"A|M\xE9|X|2||", "b|m|x|1|1|p", "c||||-1|q"}));
    t.DeleteRow(rows[1].Bookmark);
    EXPECT_EQ(ErrorOf([&] { t.DeleteRow(rows[1].Bookmark); }), "Record not found");
    TResultRow gone = rows[1];
    EXPECT_EQ(ErrorOf([&] { t.UpdateRow(gone); }), "Record not found");
    EXPECT_EQ(wf.Lines(), (std::vector<std::string>{"A|M\xE9|X|2||", "c||||-1|q"}));
    // Rows written directly are cut to the column widths as appended ones are.
    TResultRow wide = Row(std::string(20, 'u'), std::string(40, 'm'), "x", "1.2.3.4", 1, "p");
    t.InsertRow(wide);
    EXPECT_EQ(wf.Sql("SELECT length(UserName), length(AppMaker), Version FROM Results WHERE rowid = " +
                     std::to_string(wide.Bookmark)),
              (std::vector<std::vector<std::string>>{{"16", "32", "1.2.3."}}));
}

TEST(ResultsTable, TableEmptiedBehindTheCursorHasNoCurrentRow) {
    TWorkFolder wf;
    wf.Insert({Row("a", "m", "x", "1", 1, "p")});
    TResultsTable &t = wf.Table();
    wf.dm->Query1.DeleteApplication("m", "x");
    t.First();
    EXPECT_TRUE(t.Eof());
    EXPECT_FALSE(t.HasCurrent());
    EXPECT_EQ(ErrorOf([&] { t.Delete(); }), "Cannot perform this operation on an empty dataset");
}

TEST(ResultsQuery, DeleteUserRemovesOnlyThatUsersRows) {
    const std::vector<std::string> users = {"bob", "bobby", "bo", "Bob", "a\" or \"1\"=\"1", "AppName",
                                            "o'brien", "", "\xE9t\xE9"};
    for (const std::string &victim : users) {
        TWorkFolder wf;
        std::vector<TResultRow> rows;
        for (const std::string &u : users)
            for (const char *app : {"one", "two"})
                rows.push_back(Row(u, "AppName", app, "1", 0, ""));
        wf.Insert(rows);
        EXPECT_EQ(wf.dm->Query1.DeleteUser(victim), 2) << victim;
        std::vector<std::string> expected;
        for (const std::string &u : users)
            if (u != victim)
                for (const char *app : {"one", "two"})
                    expected.push_back(u + "|AppName|" + app + "|1|0|");
        EXPECT_EQ(wf.Lines(), expected) << victim;
    }
}

TEST(ResultsQuery, DeleteUserMatchesALongNameAsStored) {
    TWorkFolder wf;
    wf.Insert({Row("abcdefghijklmnopqrst", "m", "x", "1", 1, "p"), Row("abcdefghijklmnoQ", "m", "x", "1", 1, "p"),
               Row("abcdefghijklmno", "m", "x", "1", 1, "p")});
    EXPECT_EQ(wf.dm->Query1.DeleteUser("abcdefghijklmnopqrst"), 1);
    EXPECT_EQ(wf.Lines(), (std::vector<std::string>{"abcdefghijklmnoQ|m|x|1|1|p", "abcdefghijklmno|m|x|1|1|p"}));
}

TEST(ResultsQuery, DeleteApplicationRemovesItsRowsOfEveryUserAndVersion) {
    TWorkFolder wf;
    wf.Insert({Row("u1", "Acme", "Tool", "1", 1, ""), Row("u2", "Acme", "Tool", "2", 0, ""),
               Row("u1", "Acme", "Other", "1", 1, ""), Row("u1", "Acm", "Tool", "1", 1, ""),
               Row("u3", "Q\"x", "A\" or \"1\"=\"1", "1", 1, ""), Row("u3", "", "", "", 1, "")});
    EXPECT_EQ(wf.dm->Query1.DeleteApplication("Acme", "Tool"), 2);
    EXPECT_EQ(wf.dm->Query1.DeleteApplication("Q\"x", "A\" or \"1\"=\"1"), 1);
    EXPECT_EQ(wf.dm->Query1.DeleteApplication("", ""), 1);
    EXPECT_EQ(wf.Lines(), (std::vector<std::string>{"u1|Acme|Other|1|1|", "u1|Acm|Tool|1|1|"}));
}

} // namespace
