#include "export/CsvExport.h"
#include "support/ChildProcess.h"
#include "support/ResultsFixture.h"

#include <csignal>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using namespace invexa;
using namespace invexa::test;

namespace {

struct TCsvFolder : TWorkFolder {
    const std::string csv = dir.File(CsvExport::FileName);
    long long Export() {
        Table().Open();
        return CsvExport::Export(Table(), csv);
    }
    // The export in a process of its own, the table opened first and then prepare run (a limit, another user); its
    // error, empty when it succeeds.
    std::string ExportInChild(const std::function<bool()> &prepare) {
        dm.reset();
        TChildResult child = RunInChild([&] {
            TDataModule1 own(dir.Path());
            own.resultsTbl.Open();
            if (!prepare())
                return std::string("cannot prepare");
            try {
                CsvExport::Export(own.resultsTbl, csv);
                return std::string();
            } catch (const EInvexaError &e) {
                return std::string(e.what());
            }
        });
        EXPECT_TRUE(child.ExitedCleanly());
        return child.Text;
    }
};

TEST(CsvExport, WritesEachRowAsOneLineOfExactBytesAndReplacesTheFile) {
    TCsvFolder f;
    EXPECT_EQ(f.Export(), 0);
    EXPECT_EQ(f.dir.Read(CsvExport::FileName), "");
    std::vector<TResultRow> rows =
        f.Insert({Row("alice", "Acme", "AB", "1.0", -1, "C:\\"), Row("bob", "Say \"hi\", Inc", "a,b", "", 2, ""),
                  Row("Jos\xE9", "\x81\x8D\x9D", "Caf\xE9 \x80", "1", std::nullopt, "D:\\\xFF")});
    f.Table().GotoBookmark(rows[0].Bookmark);
    EXPECT_EQ(f.Export(), 3);
    EXPECT_EQ(f.dir.Read(CsvExport::FileName),
              "\"alice\",\"Acme\",\"AB\",\"1.0\",-1,\"C:\\\"\r\n"
              "\"bob\",\"Say \"hi\", Inc\",\"a,b\",\"\",2,\"\"\r\n"
              "\"Jos\xE9\",\"\x81\x8D\x9D\",\"Caf\xE9 \x80\",\"1\",0,\"D:\\\xFF\"\r\n");
    EXPECT_TRUE(f.Table().Eof()); // the last row is current afterwards
    EXPECT_EQ(f.Table().Bookmark(), rows[2].Bookmark);
    f.Table().DeleteRow(rows[1].Bookmark);
    f.Table().DeleteRow(rows[2].Bookmark);
    EXPECT_EQ(f.Export(), 1);
    EXPECT_EQ(f.dir.Read(CsvExport::FileName), "\"alice\",\"Acme\",\"AB\",\"1.0\",-1,\"C:\\\"\r\n");
    // Values another program stored: the integer the table holds (a text or a real as SQLite reads it as an
    // integer), texts cut at their first zero byte as when stored.
    SQLite::Database(f.DbPath(), SQLite::OPEN_READWRITE)
        .exec("DELETE FROM Results; INSERT INTO Results VALUES ('a', CAST(x'4D0068696464656E' AS TEXT), 'x', '1', "
              "'p', 70000), ('b', 'M', 'x', '1', 'p', -40000), ('c', 'M', 'x', '1', 'p', '12abc'), "
              "('d', 'M', 'x', '1', 'p', -3.75)");
    EXPECT_EQ(f.Export(), 4);
    EXPECT_EQ(f.dir.Read(CsvExport::FileName),
              "\"a\",\"M\",\"x\",\"1\",70000,\"p\"\r\n\"b\",\"M\",\"x\",\"1\",-40000,\"p\"\r\n"
              "\"c\",\"M\",\"x\",\"1\",12,\"p\"\r\n\"d\",\"M\",\"x\",\"1\",-3,\"p\"\r\n");
    // A table kept in UTF-16, and a text longer than the export writes at a time.
    f.dm.reset();
    std::filesystem::remove(f.DbPath());
    SQLite::Database(f.DbPath(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE)
        .exec("PRAGMA encoding = 'UTF-16le'; CREATE TABLE Results (UserName VARCHAR(16), AppMaker VARCHAR(32), "
              "AppName VARCHAR(32), Version VARCHAR(6), AppPath VARCHAR(255), Verification SMALLINT); INSERT INTO "
              "Results VALUES ('Jos\xC3\xA9', 'M', 'x', '1', printf('%.*c', 3000000, 'p'), NULL)");
    f.Restart();
    EXPECT_EQ(f.Export(), 1);
    EXPECT_EQ(f.dir.Read(CsvExport::FileName),
              "\"Jos\xE9\",\"M\",\"x\",\"1\",0,\"" + std::string(3000000, 'p') + "\"\r\n");
}

// A failed export leaves the previous one whole and nothing beside it. A new export takes the old file's mode,
// owner and group; when the exporting user cannot give it those, or cannot make a file in the folder, the old
// file is rewritten in place if the system lets that user write it.
TEST(CsvExport, FailuresLeaveThePreviousExportWholeAndTheFileKeepsItsOwner) {
    TCsvFolder f;
    std::vector<TResultRow> rows;
    for (int i = 0; i < 200; ++i)
        rows.push_back(Row("user" + std::to_string(i), "Maker", "Application", "1.0", i % 4 - 1, "C:\\x.exe"));
    f.Insert(rows);
    f.Export();
    const std::string whole = f.dir.Read(CsvExport::FileName), old = "old content\r\n";
    ASSERT_GT(whole.size(), 4096u);
    auto entries = [&] {
        std::vector<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(f.dir.Path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> only = {"Results.sqlite", "datadump.csv", "ivx"};
    EXPECT_EQ(f.ExportInChild([] {
        rlimit lim{4000, 4000};
        return std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }),
              "Disk full");
    EXPECT_EQ(f.dir.Read(CsvExport::FileName), whole);
    EXPECT_EQ(entries(), only);
    // A closed table fails before the first row; the previous export stays.
    f.dir.Write(CsvExport::FileName, old);
    f.Restart();
    f.Table().Close();
    EXPECT_EQ(ErrorOf([&] { CsvExport::Export(f.Table(), f.csv); }),
              "Cannot perform this operation on a closed dataset");
    EXPECT_EQ(f.dir.Read(CsvExport::FileName), old);
    passwd *nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || !nobody)
        return;
    struct TOwner {
        bool asNobody;
        mode_t folder, file;
        uid_t owner;
        const char *error; // empty: the export succeeds
        bool inPlace;
    } const cases[] = {
        {false, 0755, 0604, nobody->pw_uid, "", false}, // root gives the new file nobody's owner and group
        {true, 0777, 0666, 0, "", true},                // nobody cannot give it root's: written in place
        {true, 0755, 0666, 0, "", true},                // nobody cannot make a file in the folder
        {true, 0755, 0644, 0, "File access denied", true},
        {false, 0755, 0444, 0, "File access denied", true}, // marked read-only: refused even for root
    };
    for (const TOwner &c : cases) {
        SCOPED_TRACE(std::to_string(c.file) + (c.asNobody ? " as nobody" : " as root"));
        f.dir.Write(CsvExport::FileName, old);
        struct stat before {
        }, after{};
        ASSERT_EQ(::chown(f.csv.c_str(), c.owner, c.owner ? nobody->pw_gid : 0) | ::chmod(f.csv.c_str(), c.file) |
                      ::chmod(f.dir.Path().c_str(), c.folder) | ::stat(f.csv.c_str(), &before),
                  0);
        f.Restart();
        EXPECT_EQ(f.ExportInChild([&] { return !c.asNobody || BecomeNobody(); }), c.error);
        EXPECT_EQ(f.dir.Read(CsvExport::FileName), *c.error ? old : whole);
        ASSERT_EQ(::stat(f.csv.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino == before.st_ino, c.inPlace);
        EXPECT_EQ(std::tie(after.st_mode, after.st_uid, after.st_gid),
                  std::tie(before.st_mode, before.st_uid, before.st_gid));
        EXPECT_EQ(entries(), only);
        ::chmod(f.csv.c_str(), 0644);
    }
}

} // namespace
