// What the merge meets in a folder shared with many computers: a results file that is not what it should be,
// scan files with impossible lengths or odd names, a scan file of 2 GB. Each gets its clear error, and nothing
// is lost: the table file is not rewritten, the scan files wait.
#include "support/ScanFolder.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace invexa;
using namespace invexa::test;
namespace fs = std::filesystem;

namespace {

const std::string Cols = "UserName VARCHAR(16), AppMaker VARCHAR(32), AppName VARCHAR(32), Version VARCHAR(6), ";

std::string ReadBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(BadResultsFile, EachIsRefusedClearlyAndNeitherItNorTheScanFilesChange) {
    // A table of real rows, cut in half as a failed copy would leave it.
    std::string truncated;
    {
        TScanFolder donor;
        std::vector<std::string> users;
        for (int i = 0; i < 300; ++i)
            users.push_back("user" + std::to_string(i));
        donor.InsertOld(users, 20);
        donor.dm.reset();
        std::string whole = ReadBytes(donor.DbPath());
        ASSERT_GT(whole.size(), 100000u);
        truncated = whole.substr(0, whole.size() / 2);
    }
    auto make = [&](const std::string &sql) {
        return [sql](const std::string &path) {
            SQLite::Database db(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
            db.exec(sql);
        };
    };
    auto bytes = [](const std::string &content) {
        return [content](const std::string &path) { TScanFileWriter::WriteBytes(path, content); };
    };
    struct Case {
        const char *what;
        std::function<void(const std::string &)> make;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"not an SQLite file", bytes(std::string(8192, 'x')), "Cannot open the results table {path}: file is not a database"},
        {"a text file", bytes("UserName,AppMaker\r\nalice,Acme\r\n"), "Cannot open the results table {path}: file is not a database"},
        {"truncated", bytes(truncated), "Cannot open the results table {path}: database disk image is malformed"},
        {"lacks a column", make("CREATE TABLE Results (" + Cols + "Verification SMALLINT)"), "Field 'AppPath' not found"},
        {"a column of another type",
         make("CREATE TABLE Results (" + Cols + "AppPath VARCHAR(255), Verification VARCHAR(4))"),
         "Type mismatch for field 'Verification', expecting: SmallInt actual: String"},
        {"empty", bytes(""), "No results table in {folder}: 'invexa init' creates it"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TScanFolder f;
        f.dm.reset();
        fs::remove(f.DbPath());
        c.make(f.DbPath());
        const std::string before = ReadBytes(f.DbPath());
        f.Scan("alice.ivx", TScanFileWriter::SampleRecords(1, 3));
        f.Scan("bob.ivx", TScanFileWriter::SampleRecords(2, 3));
        f.Restart();
        std::string message = ErrorOf([&] { f.Merge(); });
        std::string expected = c.message;
        if (auto at = expected.find("{path}"); at != std::string::npos)
            expected.replace(at, 6, f.DbPath());
        if (auto at = expected.find("{folder}"); at != std::string::npos)
            expected.replace(at, 8, f.dir.Path());
        EXPECT_EQ(message, expected);
        f.dm.reset();
        EXPECT_EQ(f.Waiting(), (std::vector<std::string>{"alice.ivx", "bob.ivx"}));
        EXPECT_EQ(ReadBytes(f.DbPath()), before) << "the refused table file was changed";
    }
}

TEST(BadScanFiles, ImpossibleLengthsAndOddNamesOrKindsEachGetTheirErrorAndTheRestMerges) {
    TScanFolder f;
    // Lengths of 2^31-1 and -1 in the first length item: the file is refused before anything is read into the
    // table, and its user's rows stay.
    f.InsertOld({"huge", "negative"}, 1);
    TScanFileWriter::WriteBytes(f.Ivx() + "/huge.ivx", Le32(0x7FFFFFFF) + std::string(64, 'a'));
    TScanFileWriter::WriteBytes(f.Ivx() + "/negative.ivx", Le32(0xFFFFFFFF) + std::string(64, 'a'));
    ASSERT_EQ(::mkfifo((f.Ivx() + "/pipe.ivx").c_str(), 0644), 0); // opening it must not wait for a writer
    // Names as users and file systems make them: blanks, quotes, 8-bit and UTF-8 bytes, the longest name.
    const std::vector<std::string> users = {"John Smith", "O'Brien \"Bob\"", "Jos\xE9", "J\xC3\xBCrgen",
                                            "semi;colon,comma", std::string(251, 'n')};
    int n = 0;
    for (const std::string &u : users)
        f.Scan(u + ".ivx", TScanFileWriter::SampleRecords(n++, 2));
    TMergeSummary s = f.Merge();
    EXPECT_EQ(s.Errors, (std::vector<std::string>{
                            "Invalid scan data file " + f.Ivx() + "/huge.ivx: text length 2147483647 at offset 0",
                            "Invalid scan data file " + f.Ivx() + "/negative.ivx: text length -1 at offset 0",
                            "Cannot open file " + f.Ivx() + "/pipe.ivx"}));
    EXPECT_EQ(f.Waiting(), (std::vector<std::string>{"huge.ivx", "negative.ivx", "pipe.ivx"}));
    auto rows = f.ByUser();
    EXPECT_EQ(rows["huge"], TScanFolder::OldLines("huge", 1));
    EXPECT_EQ(rows["negative"], TScanFolder::OldLines("negative", 1));
    ASSERT_EQ(s.Merged.size(), users.size());
    n = 0;
    for (const std::string &u : users) {
        // Stored as the 8-bit text the scanners use, cut to the column's 16 characters.
        std::string stored = TMergedFile{}.UserName;
        for (const TMergedFile &m : s.Merged)
            if (m.FileName == u + ".ivx")
                stored = m.UserName;
        EXPECT_FALSE(stored.empty()) << u;
        EXPECT_EQ(rows[stored], TScanFolder::NewLines(stored, TScanFileWriter::SampleRecords(n++, 2))) << u;
    }
}

// A scanner that wrote nothing but empty records for 2 GB: a sparse file of zeros is exactly that (every length
// 0, every flag 0), so it costs no disk. Long: run with INVEXA_LONG_TESTS=1.
TEST(BadScanFiles, TwoGigabytesOfEmptyRecordsMergeInBoundedMemory) {
    const char *longTests = std::getenv("INVEXA_LONG_TESTS");
    if (!longTests || std::string(longTests) != "1")
        GTEST_SKIP() << "a long test: set INVEXA_LONG_TESTS=1 to run it";
    TScanFolder f;
    constexpr std::int64_t Size = std::int64_t(2) << 30;
    const std::string path = f.Ivx() + "/empty.ivx";
    {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, Size), 0);
        ::close(fd);
    }
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    auto start = std::chrono::steady_clock::now();
    TMergeSummary s = f.Merge();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    ASSERT_TRUE(s.Errors.empty());
    ASSERT_EQ(s.Merged.size(), 1u);
    // 17 bytes a record; the last 2^31 mod 17 bytes form one more record, cut short.
    const std::int64_t records = (Size + 16) / 17;
    EXPECT_EQ(s.Merged[0].Records, records);
    EXPECT_EQ(f.Sql("SELECT count(*) FROM Results WHERE UserName = 'empty' AND AppMaker = '' AND AppName = '' "
                    "AND Version = '' AND AppPath = '' AND Verification = 0")[0][0],
              std::to_string(records));
    EXPECT_FALSE(f.Waiting("empty.ivx"));
    // ru_maxrss is the peak of the whole test process, in kilobytes: it must not come near the file's size.
    EXPECT_LT(after.ru_maxrss, 256 * 1024) << "peak memory grew with the file";
    std::cout << "[ 2 GB     ] " << records << " empty records merged in " << seconds << " s, peak memory "
              << after.ru_maxrss / 1024 << " MB (before: " << before.ru_maxrss / 1024 << " MB)\n";
}

} // namespace
