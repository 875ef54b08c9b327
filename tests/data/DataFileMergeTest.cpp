#include "support/ChildProcess.h"
#include "support/ResultsFixture.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace invexa;
using namespace invexa::test;
namespace fs = std::filesystem;

namespace {

// Each file replaces its user's rows, in case-insensitive name order with ties by bytes; the user is the file's
// name as stored (8-bit, cut to 16); folders and files beside ivx/ are not data files.
TEST(DataFileMerge, ReplacesEachUsersRowsInNameOrderAndDeletesTheFiles) {
    TWorkFolder f;
    const std::string longName = "abcdefghijklmnopqrstuvwxyz";
    f.InsertOld({"alicia", "a", "", "gone", longName, "x", "carol"}, 2);
    const std::vector<std::string> order = {".ivx", "_x.ivx", "A.ivx", "a.ivx", longName + ".ivx", "b.ivx", "B0.iVx",
                                            "C.IVX", "gone.ivx", "Jos\xC3\xA9.ivx", "Ren\xE9.ivx", "\xE5\x8C\x97.ivx"};
    for (const std::string &name : order)
        if (name != "gone.ivx" && name != longName + ".ivx")
            f.Scan(name, {Rec("m", name, "1", 2, "p")});
    f.Scan("gone.ivx", {}); // an empty file removes its user's rows
    std::string cut = TScanFileWriter::Encode({Rec("m", "a1", "1", 1, "p"), Rec("Maker", "Cut", "9", 1, "C:\\x")});
    TScanFileWriter::WriteBytes(f.Ivx() + "/" + longName + ".ivx", cut.substr(0, cut.size() - 5));
    fs::create_directory(f.Ivx() + "/x.ivx");
    f.dir.Write("dave.ivx", TScanFileWriter::Encode({Rec("m", "a", "1", 1, "p")}));
    f.Restart(); // the pass opens the table itself
    TSteps progress;
    TMergeSummary s = f.Merge(&progress);
    EXPECT_EQ(s.DataFolder, f.Ivx());
    EXPECT_EQ(s.Errors, std::vector<std::string>{});
    std::vector<std::string> calls = order;
    calls.insert(calls.begin(), "Merging data files...");
    calls.push_back("finish");
    EXPECT_EQ(progress.calls, calls);
    ASSERT_EQ(s.Merged.size(), order.size());
    EXPECT_EQ(s.Merged[4].UserName, "abcdefghijklmnop");
    EXPECT_EQ(s.Records(), 12); // one record in ten files, none in gone.ivx, two in the cut-short one
    std::vector<std::string> expected = OldLines("alicia", 2), x = OldLines("x", 2), carol = OldLines("carol", 2);
    expected.insert(expected.end(), x.begin(), x.end());
    expected.insert(expected.end(), carol.begin(), carol.end());
    for (const std::string &name : order) {
        std::string user = name.substr(0, name.size() - 4);
        if (name == "Jos\xC3\xA9.ivx" || name == "\xE5\x8C\x97.ivx")
            user = name == "Jos\xC3\xA9.ivx" ? "Jos\xE9" : "?";
        if (name == longName + ".ivx")
            expected.insert(expected.end(), {"abcdefghijklmnop|m|a1|1|1|p", "abcdefghijklmnop|Maker|Cut|9|1|"});
        else if (name != "gone.ivx")
            expected.push_back(user + "|m|" + name + "|1|2|p");
    }
    EXPECT_EQ(f.Lines(), expected);
    EXPECT_EQ(f.Waiting(), std::vector<std::string>{"x.ivx"});
    EXPECT_TRUE(f.dir.Exists("dave.ivx"));
    EXPECT_TRUE(f.Table().Active());

    fs::remove(f.Ivx() + "/x.ivx"); // without an ivx folder, the working folder is searched
    fs::remove(f.Ivx());
    EXPECT_EQ(f.Merge().DataFolder, f.dir.Path());
    EXPECT_EQ(f.Lines().back(), "dave|m|a|1|1|p");
    EXPECT_FALSE(f.dir.Exists("dave.ivx"));
}

// A file that cannot be opened (locked by its scanner, a FIFO) or that holds an impossible length waits with its
// user's rows untouched, named in the errors; odd names merge; a file the scanner has let go merges next time.
TEST(DataFileMerge, RefusedFilesWaitWithTheirUsersRowsAndTheOthersMerge) {
    TWorkFolder f;
    f.InsertOld({"bad", "busy", "huge", "negative"}, 2);
    const std::string at37 = TScanFileWriter::Encode({Rec("Acme", "AB", "1.0", -1, "C:\\")}) + Item("Acme");
    TScanFileWriter::WriteBytes(f.Ivx() + "/bad.ivx", at37 + Le32(300) + std::string(300, 'z'));
    TScanFileWriter::WriteBytes(f.Ivx() + "/huge.ivx", Le32(0x7FFFFFFF) + std::string(64, 'a'));
    TScanFileWriter::WriteBytes(f.Ivx() + "/negative.ivx", Le32(0xFFFFFFFF) + std::string(64, 'a'));
    ASSERT_EQ(::mkfifo((f.Ivx() + "/pipe.ivx").c_str(), 0644), 0); // opening it must not wait for a writer
    const auto scan = TScanFileWriter::SampleRecords(1, 2);
    const std::string busy = f.Scan("busy.ivx", {scan[0]}); // a scanner still writing, holding its lock
    int fd = ::open(busy.c_str(), O_WRONLY | O_APPEND);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const std::vector<std::string> users = {"John Smith", "O'Brien \"Bob\"", "semi;colon,comma", std::string(251, 'n')};
    for (std::size_t i = 0; i < users.size(); ++i)
        f.Scan(users[i] + ".ivx", TScanFileWriter::SampleRecords(int(i), 2));
    std::vector<std::string> errors = {"Invalid scan data file " + f.Ivx() + "/bad.ivx: text length 300 at offset 37",
                                       "Cannot open file " + busy,
                                       "Invalid scan data file " + f.Ivx() + "/huge.ivx: text length 2147483647 at offset 0",
                                       "Invalid scan data file " + f.Ivx() + "/negative.ivx: text length -1 at offset 0",
                                       "Cannot open file " + f.Ivx() + "/pipe.ivx"};
    TMergeSummary s = f.Merge();
    EXPECT_EQ(s.Errors, errors);
    EXPECT_EQ(f.Waiting(), (std::vector<std::string>{"bad.ivx", "busy.ivx", "huge.ivx", "negative.ivx", "pipe.ivx"}));
    auto rows = f.ByUser();
    for (const char *u : {"bad", "busy", "huge", "negative"})
        EXPECT_EQ(rows[u], OldLines(u, 2)) << u;
    EXPECT_EQ(s.Merged.size(), users.size());
    for (std::size_t i = 0; i < users.size(); ++i) {
        const std::string stored = CutToWidth(users[i], 16);
        EXPECT_EQ(rows[stored], NewLines(stored, TScanFileWriter::SampleRecords(int(i), 2))) << users[i];
    }

    const std::string rest = TScanFileWriter::Encode({scan[1]});
    ASSERT_EQ(::write(fd, rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
    ::close(fd); // the scanner is done
    errors.erase(errors.begin() + 1);
    EXPECT_EQ(f.Merge().Errors, errors);
    EXPECT_EQ(f.ByUser()["busy"], NewLines("busy", scan));
    EXPECT_FALSE(f.Waiting("busy.ivx"));
}

// Polls cond until it holds (true) or the child ends (false); fails the test when neither happens in time.
bool WhileRunning(pid_t child, int &status, const std::function<bool()> &cond) {
    for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
         std::chrono::steady_clock::now() < deadline; std::this_thread::yield()) {
        if (cond())
            return true;
        if (::waitpid(child, &status, WNOHANG) == child)
            return false;
    }
    ADD_FAILURE() << "the merge neither ended nor reached the kill point in time";
    return true;
}

// A merge killed at any instant loses and duplicates nothing, and the next merge finishes the job. More files
// than one commit takes, so the pass commits at least twice.
TEST(DataFileMergeCrash, KilledMergeLosesNothingAndTheNextMergeFinishesTheJob) {
    if (ToolPath().empty())
        GTEST_SKIP() << "INVEXA_TOOL does not name the built invexa tool";
    const TCrowd crowd{TDataFileMerge::BatchFiles + TDataFileMerge::BatchFiles / 4, 3, 20};
    {
        TWorkFolder whole; // never killed: every file across the commits
        crowd.Prepare(whole);
        EXPECT_EQ(crowd.CheckAndFinish(whole), 0);
    }
    int killedMidway = 0;
    for (int point = 0; point < 4; ++point) {
        SCOPED_TRACE("kill point " + std::to_string(point));
        TWorkFolder f;
        crowd.Prepare(f);
        auto waiting = [&] { return static_cast<int>(std::distance(fs::directory_iterator(f.Ivx()), {})); };
        auto journal = [&] { return fs::exists(f.DbPath() + "-journal"); };
        // While the first batch is written, once its files go, while a later batch is written.
        const std::function<bool()> killAt[] = {journal, [&] { return waiting() < crowd.users; },
                                                [&] { return waiting() < crowd.users && journal(); },
                                                [&] { return waiting() < crowd.users - TDataFileMerge::BatchFiles / 2; }};
        pid_t child = StartTool({"-C", f.dir.Path(), "merge"}, "/dev/null", "/dev/null");
        int status = 0;
        if (WhileRunning(child, status, killAt[point])) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            killedMidway += WIFSIGNALED(status) && waiting() > 0;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
        crowd.CheckAndFinish(f);
    }
    EXPECT_GE(killedMidway, 1) << "no kill landed inside a merge";
}

// Two administrators started at once in one folder: each merge takes a file or leaves it (the other holds it, or
// the table), no row is lost or doubled, and the next start merges what is left.
TEST(TwoAdministrators, MergingTheSameFolderAtOnceLosesAndDoublesNothing) {
    if (ToolPath().empty())
        GTEST_SKIP() << "INVEXA_TOOL does not name the built invexa tool";
    const TCrowd crowd{400, 2, 5};
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TWorkFolder f;
        crowd.Prepare(f);
        pid_t admin[2];
        for (int k = 0; k < 2; ++k)
            admin[k] = StartTool({"-C", f.dir.Path(), "merge"}, "/dev/null", f.dir.File("err" + std::to_string(k)));
        for (int k = 0; k < 2; ++k) {
            int status = 0;
            ASSERT_TRUE(WaitFor(admin[k], status, std::chrono::seconds(60))) << "administrator " << k << " hung";
            std::ifstream err(f.dir.File("err" + std::to_string(k)));
            int lines = 0;
            for (std::string line; std::getline(err, line); ++lines)
                EXPECT_TRUE(line.rfind("Cannot open file " + f.Ivx() + "/", 0) == 0 ||
                            line == "The results table " + f.DbPath() +
                                        " is locked by another program; try again when it has finished" ||
                            line.find("scan data file(s) left in place") != std::string::npos)
                    << line;
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == (lines ? 1 : 0)) << status;
        }
        crowd.CheckAndFinish(f);
    }
}

TEST(TwoAdministrators, FileMergedByTheOtherSinceTheListingIsNoError) {
    TWorkFolder f;
    f.InsertOld({"u1"}, 1);
    f.Scan("u1.ivx", TScanFileWriter::SampleRecords(1, 2));
    TSteps other; // removes each file just as the merge reaches it, as the other administrator would have
    other.onStep = [&](const std::string &name) { fs::remove(f.Ivx() + "/" + name); };
    TMergeSummary s = f.Merge(&other);
    EXPECT_EQ(s.Errors, std::vector<std::string>{});
    EXPECT_TRUE(s.Merged.empty());
    EXPECT_EQ(f.ByUser()["u1"], OldLines("u1", 1));
}

// A scanner that wrote nothing but empty records for 2 GB: a sparse file of zeros is exactly that (every length
// 0, every flag 0), so it costs no disk. Long: run with INVEXA_LONG_TESTS=1.
TEST(DataFileMerge, TwoGigabytesOfEmptyRecordsMergeInBoundedMemory) {
    if (const char *run = std::getenv("INVEXA_LONG_TESTS"); !run || std::string(run) != "1")
        GTEST_SKIP() << "a long test: set INVEXA_LONG_TESTS=1 to run it";
    TWorkFolder f;
    constexpr std::int64_t Size = std::int64_t(2) << 30;
    fs::resize_file(f.Scan("empty.ivx", {}), Size);
    auto start = std::chrono::steady_clock::now();
    TMergeSummary s = f.Merge();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    ASSERT_EQ(s.Errors, std::vector<std::string>{});
    // 17 bytes a record; the last 2^31 mod 17 bytes form one more record, cut short.
    const std::int64_t records = (Size + 16) / 17;
    ASSERT_EQ(s.Merged.size(), 1u);
    EXPECT_EQ(s.Merged[0].Records, records);
    EXPECT_EQ(f.Sql("SELECT count(*) FROM Results WHERE UserName = 'empty' AND AppMaker = '' AND AppName = '' "
                    "AND Version = '' AND AppPath = '' AND Verification = 0")[0][0],
              std::to_string(records));
    EXPECT_FALSE(f.Waiting("empty.ivx"));
    // ru_maxrss is the peak of the whole test process, in kilobytes: it must not come near the file's size.
    EXPECT_LT(usage.ru_maxrss, 256 * 1024) << "peak memory grew with the file";
    std::cout << "[ 2 GB     ] " << records << " empty records merged in " << seconds << " s, peak memory "
              << usage.ru_maxrss / 1024 << " MB\n";
}

} // namespace
