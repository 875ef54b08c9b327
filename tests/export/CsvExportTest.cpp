#include "export/CsvExport.h"
#include "support/ResultsFixture.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace invexa;
using namespace invexa::test;

namespace {

struct TCsvFolder : TWorkFolder {
    std::string Csv() const { return dir.File(TCsvExport::FileName); }
    long long Export() {
        Table().Open();
        return TCsvExport::Export(Table(), Csv());
    }
};

TEST(CsvExport, WritesEachRowAsOneLineOfExactBytes) {
    TCsvFolder f;
    f.Insert({Row("alice", "Acme", "AB", "1.0", -1, "C:\\"),
              Row("bob", "Say \"hi\", Inc", "a,b", "", 2, ""),
              Row("Jos\xE9", "\x81\x8D\x9D", "Caf\xE9 \x80", "1", std::nullopt, "D:\\\xFF\\x.exe")});
    EXPECT_EQ(f.Export(), 3);
    EXPECT_EQ(f.dir.Read(TCsvExport::FileName), "\"alice\",\"Acme\",\"AB\",\"1.0\",-1,\"C:\\\"\r\n"
                                                "\"bob\",\"Say \"hi\", Inc\",\"a,b\",\"\",2,\"\"\r\n"
                                                "\"Jos\xE9\",\"\x81\x8D\x9D\",\"Caf\xE9 \x80\",\"1\",0,"
                                                "\"D:\\\xFF\\x.exe\"\r\n");
}

TEST(CsvExport, EmptyTableGivesAnEmptyFile) {
    TCsvFolder f;
    EXPECT_EQ(f.Export(), 0);
    ASSERT_TRUE(f.dir.Exists(TCsvExport::FileName));
    EXPECT_EQ(f.dir.Read(TCsvExport::FileName), "");
}

TEST(CsvExport, SecondExportReplacesTheWholeFile) {
    TCsvFolder f;
    std::vector<TResultRow> rows = f.Insert({Row("a", "m", "x", "1", 1, "p"), Row("b", "m", "x", "1", 1, "p")});
    f.Export();
    f.Table().DeleteRow(rows[1].Bookmark);
    f.Export();
    EXPECT_EQ(f.dir.Read(TCsvExport::FileName), "\"a\",\"m\",\"x\",\"1\",1,\"p\"\r\n");
}

TEST(CsvExport, LastRowIsCurrentAfterTheExport) {
    TCsvFolder f;
    std::vector<TResultRow> rows = f.Insert({Row("a", "", "", "", 0, ""), Row("b", "", "", "", 0, ""),
                                             Row("c", "", "", "", 0, "")});
    f.Table().GotoBookmark(rows[0].Bookmark);
    f.Export();
    EXPECT_TRUE(f.Table().Eof());
    EXPECT_EQ(f.Table().Bookmark(), rows[2].Bookmark);
    EXPECT_EQ(f.Table().AsString(TField::UserName), "c");
}

TEST(CsvExport, ClosedTableLeavesAnEmptyFileAndSaysSo) {
    TCsvFolder f;
    f.Insert({Row("a", "m", "x", "1", 1, "p")});
    f.dir.Write(TCsvExport::FileName, "old content\r\n");
    f.Table().Close();
    EXPECT_EQ(ErrorOf([&] { TCsvExport::Export(f.Table(), f.Csv()); }),
              "Cannot perform this operation on a closed dataset");
    ASSERT_TRUE(f.dir.Exists(TCsvExport::FileName));
    EXPECT_EQ(f.dir.Read(TCsvExport::FileName), "");
}

TEST(CsvExport, ReadOnlyFileIsRefusedAndKeepsItsContent) {
    TCsvFolder f;
    f.Insert({Row("a", "m", "x", "1", 1, "p")});
    f.dir.Write(TCsvExport::FileName, "old content\r\n");
    ASSERT_EQ(::chmod(f.Csv().c_str(), 0444), 0);
    EXPECT_EQ(ErrorOf([&] { f.Export(); }), "File access denied");
    EXPECT_EQ(f.dir.Read(TCsvExport::FileName), "old content\r\n");
}

TEST(CsvExport, FolderInThePlaceOfTheFileIsRefused) {
    TCsvFolder f;
    f.Insert({Row("a", "m", "x", "1", 1, "p")});
    std::filesystem::create_directory(f.Csv());
    f.dir.Write(std::string(TCsvExport::FileName) + "/keep", "kept");
    EXPECT_EQ(ErrorOf([&] { f.Export(); }), "File access denied");
    EXPECT_EQ(f.dir.Read(std::string(TCsvExport::FileName) + "/keep"), "kept");
}

TEST(CsvExport, FullDiskIsReportedAndWhatWasWrittenStays) {
    TCsvFolder f;
    std::vector<TResultRow> rows;
    for (int i = 0; i < 200; ++i)
        rows.push_back(Row("user" + std::to_string(i), "Maker", "Application", "1.0", i % 4 - 1, "C:\\x.exe"));
    f.Insert(rows);
    f.Export();
    const std::string whole = f.dir.Read(TCsvExport::FileName);
    ASSERT_GT(whole.size(), 4096u);
    f.dm.reset(); // the child opens its own connection

    constexpr rlim_t Limit = 4000;
    int pipeFd[2];
    ASSERT_EQ(::pipe(pipeFd), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFd[0]);
        std::string message = "no error";
        try {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit lim{Limit, Limit};
            ::setrlimit(RLIMIT_FSIZE, &lim);
            TDataModule1 dm(f.dir.Path());
            dm.resultsTbl.Open();
            TCsvExport::Export(dm.resultsTbl, f.Csv());
        } catch (const std::exception &e) {
            message = e.what();
        }
        (void)!::write(pipeFd[1], message.data(), message.size());
        ::_exit(0);
    }
    ::close(pipeFd[1]);
    std::string message;
    char buf[256];
    for (ssize_t n; (n = ::read(pipeFd[0], buf, sizeof buf)) > 0;)
        message.append(buf, static_cast<std::size_t>(n));
    ::close(pipeFd[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(message, "Disk full");
    EXPECT_EQ(f.dir.Read(TCsvExport::FileName), whole.substr(0, Limit));
}

} // namespace
