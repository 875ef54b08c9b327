#include "export/CsvExport.h"
#include "support/ChildProcess.h"
#include "support/ResultsFixture.h"

#include <csignal>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace invexa;
using namespace invexa::test;

namespace {

struct TCsvFolder : TWorkFolder {
    const std::string csv = dir.File(TCsvExport::FileName);
    long long Export() {
        Table().Open();
        return TCsvExport::Export(Table(), csv);
    }
    // The export in a process of its own, the table opened first and then prepare run (a limit, another user).
    std::string ExportInChild(const std::function<bool()> &prepare) {
        dm.reset();
        TChildResult child = RunInChild([&] {
            TDataModule1 own(dir.Path());
            own.resultsTbl.Open();
            if (!prepare())
                return std::string("cannot prepare");
            return ErrorOf([&] { TCsvExport::Export(own.resultsTbl, csv); });
        });
        EXPECT_TRUE(child.ExitedCleanly());
        return child.Text;
    }
};

TEST(CsvExport, WritesEachRowAsOneLineOfExactBytesAndReplacesTheFile) {
    TCsvFolder f;
    EXPECT_EQ(f.Export(), 0);
    EXPECT_EQ(f.dir.Read(TCsvExport::FileName), "");
    std::vector<TResultRow> rows = f.Insert({Row("alice", "Acme", "AB", "1.0", -1, "C:\\"),
                                             Row("bob", "Say \"hi\", Inc", "a,b", "", 2, ""),
                                             Row("Jos\xE9", "\x81\x8D\x9D", "Caf\xE9 \x80", "1", std::nullopt, "D:\\\xFF")});
    f.Table().GotoBookmark(rows[0].Bookmark);
    EXPECT_EQ(f.Export(), 3);
    EXPECT_EQ(f.dir.Read(TCsvExport::FileName), "\"alice\",\"Acme\",\"AB\",\"1.0\",-1,\"C:\\\"\r\n"
                                                "\"bob\",\"Say \"hi\", Inc\",\"a,b\",\"\",2,\"\"\r\n"
                                                "\"Jos\xE9\",\"\x81\x8D\x9D\",\"Caf\xE9 \x80\",\"1\",0,\"D:\\\xFF\"\r\n");
    EXPECT_TRUE(f.Table().Eof()); // the last row is current afterwards
    EXPECT_EQ(f.Table().Bookmark(), rows[2].Bookmark);
    f.Table().DeleteRow(rows[1].Bookmark);
    f.Table().DeleteRow(rows[2].Bookmark);
    EXPECT_EQ(f.Export(), 1);
    EXPECT_EQ(f.dir.Read(TCsvExport::FileName), "\"alice\",\"Acme\",\"AB\",\"1.0\",-1,\"C:\\\"\r\n");
}

TEST(CsvExport, FailuresAreNamedAndLeaveTheFileAsTheySay) {
    TCsvFolder f;
    std::vector<TResultRow> rows;
    for (int i = 0; i < 200; ++i)
        rows.push_back(Row("user" + std::to_string(i), "Maker", "Application", "1.0", i % 4 - 1, "C:\\x.exe"));
    f.Insert(rows);
    f.Export();
    const std::string whole = f.dir.Read(TCsvExport::FileName);
    ASSERT_GT(whole.size(), 4096u);
    // No space: what was written stays.
    EXPECT_EQ(f.ExportInChild([] {
        rlimit lim{4000, 4000};
        return std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }), "Disk full");
    EXPECT_EQ(f.dir.Read(TCsvExport::FileName), whole.substr(0, 4000));
    // Read-only, or writable by its owner only and the export run by another user: the old content stays.
    f.dir.Write(TCsvExport::FileName, "old content\r\n");
    ASSERT_EQ(::chmod(f.dir.Path().c_str(), 0755), 0);
    if (::geteuid() == 0 && ::getpwnam("nobody")) {
        EXPECT_EQ(f.ExportInChild(BecomeNobody), "File access denied");
        EXPECT_EQ(f.dir.Read(TCsvExport::FileName), "old content\r\n");
    }
    ASSERT_EQ(::chmod(f.csv.c_str(), 0444), 0);
    f.Restart();
    EXPECT_EQ(ErrorOf([&] { f.Export(); }), "File access denied");
    EXPECT_EQ(f.dir.Read(TCsvExport::FileName), "old content\r\n");
    // A folder in its place is refused and keeps what it holds.
    std::filesystem::remove(f.csv);
    std::filesystem::create_directory(f.csv);
    f.dir.Write(std::string(TCsvExport::FileName) + "/keep", "kept");
    EXPECT_EQ(ErrorOf([&] { f.Export(); }), "File access denied");
    EXPECT_EQ(f.dir.Read(std::string(TCsvExport::FileName) + "/keep"), "kept");
    // A closed table leaves an empty file and says so.
    std::filesystem::remove_all(f.csv);
    f.dir.Write(TCsvExport::FileName, "old content\r\n");
    f.Table().Close();
    EXPECT_EQ(ErrorOf([&] { TCsvExport::Export(f.Table(), f.csv); }), "Cannot perform this operation on a closed dataset");
    EXPECT_EQ(f.dir.Read(TCsvExport::FileName), "");
}

} // namespace
