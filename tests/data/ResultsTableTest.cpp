#include "support/ResultsFixture.h"

using namespace invexa;
using namespace invexa::test;

namespace {

const std::string Cols = "UserName VARCHAR(16), AppMaker VARCHAR(32), AppName VARCHAR(32), Version VARCHAR(6), ";
const std::string Empty = "Cannot perform this operation on an empty dataset";

// A results file the program cannot use ends the merge with its clear error before anything changes: the file
// keeps its bytes (a missing one is not created), the scan files wait, the progress window is finished.
TEST(ResultsTableOpen, RefusedFilesEndTheMergeClearlyAndStayAsTheyWere) {
    std::string truncated; // a table of real rows cut in half, as a failed copy leaves it
    {
        TWorkFolder donor;
        donor.InsertOld({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}, 500);
        donor.dm.reset();
        truncated = donor.dir.Read(TResultsDatabase::FileName);
        ASSERT_GT(truncated.size(), 50000u);
        truncated.resize(truncated.size() / 2);
    }
    const std::string noTable = "No results table in {}: 'invexa init' creates it",
                      notDb = "Cannot open the results table {}: file is not a database";
    const std::vector<std::pair<std::string, std::string>> cases = {
        // the file's bytes, or "SQL:" its making
        {"(none)", noTable},
        {"", noTable},
        {"SQL:CREATE TABLE Other (x INTEGER)", noTable},
        {std::string(8192, 'x'), notDb},
        {"UserName,AppMaker\r\nalice,Acme\r\n", notDb},
        {truncated, "Cannot open the results table {}: database disk image is malformed"},
        {"SQL:CREATE TABLE Results (" + Cols + "Verification SMALLINT)", "Field 'AppPath' not found"},
        {"SQL:CREATE TABLE Results (" + Cols + "AppPath VARCHAR(255))", "Field 'Verification' not found"},
        {"SQL:CREATE TABLE Results (" + Cols + "AppPath VARCHAR(255), Verification VARCHAR(4))",
         "Type mismatch for field 'Verification', expecting: SmallInt actual: String"},
        {"SQL:CREATE TABLE Results (UserName VARCHAR(16), AppMaker INTEGER, AppName VARCHAR(32), Version "
         "VARCHAR(6), AppPath VARCHAR(255), Verification SMALLINT)",
         "Type mismatch for field 'AppMaker', expecting: String actual: Integer"},
    };
    for (const auto &[content, message] : cases) {
        SCOPED_TRACE(message);
        TWorkFolder f;
        f.dm.reset();
        std::filesystem::remove(f.DbPath());
        if (content.rfind("SQL:", 0) == 0)
            SQLite::Database(f.DbPath(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE).exec(content.substr(4));
        else if (content != "(none)")
            f.dir.Write(TResultsDatabase::FileName, content);
        const std::string before = content == "(none)" ? "" : f.dir.Read(TResultsDatabase::FileName);
        f.Scan("alice.ivx", ScanFileWriter::SampleRecords(1, 3));
        f.Restart();
        std::string expected = message;
        if (auto at = expected.find("{}"); at != std::string::npos)
            expected.replace(at, 2, expected[0] == 'N' ? f.dir.Path() : f.DbPath());
        TSteps progress;
        EXPECT_EQ(ErrorOf([&] { f.Merge(&progress); }), expected);
        EXPECT_EQ(progress.calls, (std::vector<std::string>{"Merging data files...", "finish"}));
        EXPECT_FALSE(f.Table().Active());
        f.dm.reset();
        EXPECT_EQ(f.Waiting(), std::vector<std::string>{"alice.ivx"});
        EXPECT_EQ(f.dir.Exists(TResultsDatabase::FileName), content != "(none)") << "opening created the file";
        if (content != "(none)") {
            EXPECT_EQ(f.dir.Read(TResultsDatabase::FileName), before) << "the refused table file was changed";
        }
    }
}

TEST(ResultsTableOpen, OtherWidthsAndLetterCaseAreAcceptedAndTheIndexIsAdded) {
    for (const std::string &sql :
         {"CREATE TABLE results (" + Cols + "AppPath VARCHAR(255), Verification INTEGER)",
          std::string("CREATE TABLE Results (username VARCHAR(99), APPMAKER VARCHAR(10), AppName TEXT, Version "
                      "CHAR(6), AppPath VARCHAR(255), Verification SMALLINT)")}) {
        TTempDir dir;
        SQLite::Database(dir.File(TResultsDatabase::FileName), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE).exec(sql);
        TDataModule1(dir.Path()).resultsTbl.Open();
        EXPECT_FALSE(TResultsDatabase::Create(dir.Path())) << sql; // init sees the table and keeps it
        EXPECT_EQ(SQLite::Database(dir.File(TResultsDatabase::FileName))
                      .execAndGet("SELECT count(*) FROM pragma_index_list('Results') l, pragma_index_info(l.name) i "
                                  "WHERE i.name = 'UserName' COLLATE NOCASE")
                      .getInt(),
                  1);
    }
}

TEST(ResultsTable, ClosedOrEmptyTableRefusesWhatNeedsARow) {
    TWorkFolder wf;
    TResultsTable &t = wf.Table();
    for (const std::function<void()> &op : std::vector<std::function<void()>>{
             [&] { t.First(); }, [&] { t.Next(); }, [&] { t.Delete(); }, [&] { t.GotoBookmark(1); },
             [&] { t.ReadAfter(0, 5); }, [&] { t.DeleteRow(1); }})
        EXPECT_EQ(ErrorOf(op), "Cannot perform this operation on a closed dataset");
    // A table emptied behind the cursor, by the query, has no current row.
    wf.Insert({Row("a", "m", "x", "1", 1, "p")});
    t.First();
    wf.dm->Query1.DeleteApplication("m", "x");
    t.First();
    EXPECT_TRUE(t.Eof());
    EXPECT_FALSE(t.HasCurrent());
    EXPECT_EQ(ErrorOf([&] { t.Delete(); }), Empty);
}

// Widths count characters, one per 8-bit byte; the database holds UTF-8, and the bytes come back unchanged.
TEST(ResultsTable, TextsAreCutToColumnWidthsAndEightBitTextIsStoredAsUtf8) {
    TWorkFolder wf;
    TResultsTable &t = wf.Table();
    t.Open();
    TResultRow set; // cut as it is set
    set.SetText(TField::UserName, std::string(16, '\xE9') + "xyz");
    set.SetText(TField::AppMaker, "\x81\x8D\x8F\x90\x9D\x80" + std::string(40, 'm'));
    set.SetText(TField::AppName, std::string("App\0Hidden", 10));
    set.SetText(TField::Version, "\x99.2.3.4.5");
    set.SetText(TField::AppPath, std::string(201, 'p'));
    set.Verification = -1;
    t.PostRows(&set, 1);
    TResultRow direct = Row(std::string(20, 'u'), std::string(40, 'm'), "x", "1.2.3.4", 1, "D:\\\xFF");
    t.InsertRow(direct); // rows written by bookmark are cut as appended ones are
    EXPECT_EQ(wf.Sql("SELECT length(UserName), substr(AppMaker, 1, 7), length(AppMaker), AppName, hex(Version), "
                     "length(AppPath), Verification FROM Results"),
              (std::vector<std::vector<std::string>>{{"16", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D\xE2\x82\xACm",
                                                      "32", "App", "E284A22E322E332E", "201", "-1"},
                                                     {"16", "mmmmmmm", "32", "x", "312E322E332E", "4", "1"}}));
    wf.Restart();
    EXPECT_EQ(wf.Lines(),
              (std::vector<std::string>{std::string(16, '\xE9') + "|\x81\x8D\x8F\x90\x9D\x80" + std::string(26, 'm') +
                                            "|App|\x99.2.3.|-1|" + std::string(201, 'p'),
                                        std::string(16, 'u') + "|" + std::string(32, 'm') + "|x|1.2.3.|1|D:\\\xFF"}));
}

TEST(ResultRow, VerificationTextIsOneSignAndDigitsInTheSmallintRange) {
    TResultRow row;
    for (auto [text, value] :
         {std::pair<const char *, int>{"+12", 12}, {"-32768", -32768}, {"32767", 32767}, {"007", 7}, {"-0", 0}}) {
        row.SetText(TField::Verification, text);
        EXPECT_EQ(row.Verification, std::optional<std::int16_t>(value)) << text;
    }
    row.SetText(TField::Verification, "");
    EXPECT_FALSE(row.Verification);
    // Found by fuzzing the CSV line: a plus sign followed by a minus sign was taken as a negative number.
    row.Verification = 3;
    for (const char *text : {"+-5", "-+5", "++5", "--5", "+", "-", "32768", "-32769", " 1", "1 ", "1.0"}) {
        EXPECT_THROW(row.SetText(TField::Verification, text), EInvexaError) << text;
        EXPECT_EQ(row.Verification, std::optional<std::int16_t>(3)) << text;
    }
    EXPECT_EQ(ErrorOf([&] { row.SetText(TField::Verification, "1.0"); }),
              "Verification takes a whole number from -32768 to 32767, not '1.0'");
}

// Every value is a bound parameter: names that would break a statement built as text remove only their rows,
// and a long name is matched as stored, cut to 16 characters.
TEST(ResultsQuery, DeletesRemoveExactlyTheirRowsWhateverTheText) {
    const std::vector<std::string> users = {
        "abcdefghijklmnopqrst", "abcdefghijklmnoQ", "abcdefghijklmno", "bob", "bobby",    "bo", "Bob",
        "a\" or \"1\"=\"1",     "AppName",          "o'brien",         "",    "\xE9t\xE9"};
    TWorkFolder wf;
    std::vector<TResultRow> rows;
    for (const std::string &u : users)
        for (const char *app : {"one", "two"})
            rows.push_back(Row(u, "AppName", app, "1", 0, ""));
    wf.Insert(rows);
    for (std::size_t i = 0; i < users.size(); ++i) {
        EXPECT_EQ(wf.dm->Query1.DeleteUser(users[i]), 2) << users[i];
        auto left = wf.ByUser();
        EXPECT_EQ(left.size(), users.size() - i - 1) << users[i];
        for (std::size_t j = i + 1; j < users.size(); ++j)
            EXPECT_EQ(left[CutToWidth(users[j], 16)].size(), 2u) << users[i] << " took rows of " << users[j];
    }
    wf.Insert({Row("u1", "Acme", "Tool", "1", 1, ""), Row("u2", "Acme", "Tool", "2", 0, ""),
               Row("u1", "Acme", "Other", "1", 1, ""), Row("u1", "Acm", "Tool", "1", 1, ""),
               Row("u3", "Q\"x", "A\" or \"1\"=\"1", "1", 1, ""), Row("u3", "", "", "", 1, "")});
    EXPECT_EQ(wf.dm->Query1.DeleteApplication("Acme", "Tool"), 2);
    EXPECT_EQ(wf.dm->Query1.DeleteApplication("Q\"x", "A\" or \"1\"=\"1"), 1);
    EXPECT_EQ(wf.dm->Query1.DeleteApplication("", ""), 1);
    EXPECT_EQ(wf.Lines(), (std::vector<std::string>{"u1|Acme|Other|1|1|", "u1|Acm|Tool|1|1|"}));
}

} // namespace
