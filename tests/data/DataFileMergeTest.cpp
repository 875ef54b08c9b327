#include "data/DataFileMerge.h"
#include "support/ResultsFixture.h"

#include <SQLiteCpp/Transaction.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace invexa;
using namespace invexa::test;
namespace fs = std::filesystem;

namespace {

struct TRecorder : IProgress {
    std::vector<std::string> calls;
    void Start(const std::string &h) override { calls.push_back("start " + h); }
    void Step(const std::string &item) override { calls.push_back("step " + item); }
    void Finish() override { calls.push_back("finish"); }
};

// A working folder with a table and an ivx sub-folder, as the scanners leave it.
struct TMergeFolder : TWorkFolder {
    TMergeFolder() { fs::create_directory(Ivx()); }
    std::string Ivx() const { return dir.File("ivx"); }
    std::string Scan(const std::string &name, const std::vector<TResultsRec> &records) const {
        std::string path = Ivx() + "/" + name;
        TScanFileWriter::WriteFile(path, records);
        return path;
    }
    TMergeSummary Merge(IProgress *progress = nullptr) { return TDataFileMerge(*dm, dir.Path(), progress).Run(); }
    std::vector<std::string> Waiting() const {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(Ivx()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Each user's rows in table order.
    std::map<std::string, std::vector<std::string>> ByUser() {
        std::map<std::string, std::vector<std::string>> out;
        Table().Open();
        for (const TResultRow &r : Table().ReadAfter(0, 1 << 30))
            out[r.UserName].push_back(Line(r));
        return out;
    }
};

std::vector<std::string> Lines(const std::string &user, const std::vector<TResultsRec> &records) {
    std::vector<std::string> out;
    for (const TResultsRec &r : records)
        out.push_back(Line(user, r));
    return out;
}

TResultRow Old(const std::string &user, int i) { return Row(user, "Old", "app" + std::to_string(i), "0", 0, ""); }
std::vector<std::string> OldLines(const std::string &user, int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i)
        out.push_back(Line(Old(user, i)));
    return out;
}

TEST(DataFileMerge, ReplacesTheRowsOfEachFilesUserAndDeletesTheFiles) {
    TMergeFolder mf;
    mf.Insert({Old("alice", 0), Old("alicia", 0), Old("bob", 0), Old("alice", 1), Old("carol", 0)});
    auto alice = TScanFileWriter::SampleRecords(1, 3), bob = TScanFileWriter::SampleRecords(2, 1);
    mf.Scan("alice.ivx", alice);
    mf.Scan("bob.ivx", bob);
    mf.dir.Write("dave.ivx", TScanFileWriter::Encode(alice)); // beside ivx/: not a data file now
    TMergeSummary s = mf.Merge();
    EXPECT_EQ(s.DataFolder, mf.Ivx());
    EXPECT_TRUE(s.Errors.empty());
    ASSERT_EQ(s.Merged.size(), 2u);
    EXPECT_EQ(s.Merged[0].UserName, "alice");
    EXPECT_EQ(s.Merged[0].Records, 3);
    EXPECT_EQ(s.Records(), 4);
    auto users = mf.ByUser();
    EXPECT_EQ(users.size(), 4u);
    EXPECT_EQ(users["alice"], Lines("alice", alice));
    EXPECT_EQ(users["bob"], Lines("bob", bob));
    EXPECT_EQ(users["alicia"], OldLines("alicia", 1));
    EXPECT_EQ(users["carol"], OldLines("carol", 1));
    EXPECT_TRUE(mf.Waiting().empty());
    EXPECT_TRUE(mf.dir.Exists("dave.ivx"));
    EXPECT_TRUE(mf.Table().Active());
}

TEST(DataFileMerge, EmptyIvxFolderMergesNothingEvenWithFilesInTheWorkingFolder) {
    TMergeFolder mf;
    mf.dir.Write("dave.ivx", TScanFileWriter::Encode(TScanFileWriter::SampleRecords(1, 3)));
    TMergeSummary s = mf.Merge();
    EXPECT_TRUE(s.Merged.empty());
    EXPECT_TRUE(mf.dir.Exists("dave.ivx"));
    EXPECT_TRUE(mf.Lines().empty());
    EXPECT_TRUE(mf.Table().Active());
}

TEST(DataFileMerge, WithoutIvxFolderTheWorkingFolderIsSearched) {
    TWorkFolder wf;
    wf.dir.Write("dave.ivx", TScanFileWriter::Encode({Rec("m", "a", "1", 1, "p")}));
    TMergeSummary s = TDataFileMerge(*wf.dm, wf.dir.Path()).Run();
    EXPECT_EQ(s.DataFolder, wf.dir.Path());
    EXPECT_EQ(wf.Lines(), std::vector<std::string>{"dave|m|a|1|1|p"});
    EXPECT_FALSE(wf.dir.Exists("dave.ivx"));
}

TEST(DataFileMerge, MergesInCaseInsensitiveNameOrderWithTiesByBytes) {
    TMergeFolder mf;
    for (const char *name : {"b.ivx", "a.ivx", "_x.ivx", "C.IVX", "A.ivx", "B0.iVx"})
        mf.Scan(name, {Rec("m", name, "1", 0, "")});
    TRecorder progress;
    mf.Merge(&progress);
    std::vector<std::string> users;
    for (const std::string &line : mf.Lines())
        users.push_back(line.substr(0, line.find('|')));
    EXPECT_EQ(users, (std::vector<std::string>{"_x", "A", "a", "b", "B0", "C"}));
    EXPECT_EQ(progress.calls, (std::vector<std::string>{"start Merging data files...", "step _x.ivx", "step A.ivx",
                                                        "step a.ivx", "step b.ivx", "step B0.iVx", "step C.IVX",
                                                        "finish"}));
    EXPECT_TRUE(mf.Waiting().empty());
}

TEST(DataFileMerge, BareExtensionGivesTheEmptyUserAndFoldersAreSkipped) {
    TMergeFolder mf;
    mf.Insert({Old("", 0), Old("x", 0)});
    mf.Scan(".ivx", {Rec("m", "a", "1", 2, "")});
    fs::create_directory(mf.Ivx() + "/x.ivx");
    TMergeSummary s = mf.Merge();
    EXPECT_TRUE(s.Errors.empty());
    EXPECT_EQ(mf.Lines(), (std::vector<std::string>{"x|Old|app0|0|0|", "|m|a|1|2|"}));
    EXPECT_EQ(mf.Waiting(), std::vector<std::string>{"x.ivx"});
}

TEST(DataFileMerge, UserNamesFromUtf8FileNamesAreStoredAsEightBitText) {
    TMergeFolder mf;
    mf.Scan("Jos\xC3\xA9.ivx", {Rec("m", "a", "1", 1, "")});
    mf.Scan("Ren\xE9.ivx", {Rec("m", "b", "1", 1, "")}); // already 8-bit: not UTF-8
    mf.Scan("\xE5\x8C\x97.ivx", {Rec("m", "c", "1", 1, "")}); // no 8-bit form
    EXPECT_TRUE(mf.Merge().Errors.empty());
    EXPECT_EQ(mf.Lines(), (std::vector<std::string>{"Jos\xE9|m|a|1|1|", "Ren\xE9|m|b|1|1|", "?|m|c|1|1|"}));
    EXPECT_TRUE(mf.Waiting().empty());
}

TEST(DataFileMerge, CutShortFileAndLongUserNamesAreMergedWithoutDuplicates) {
    TMergeFolder mf;
    const std::string longName = "abcdefghijklmnopqrstuvwxyz";
    for (int run = 0; run < 2; ++run) {
        std::string bytes = TScanFileWriter::Encode({Rec("m", "a" + std::to_string(run), "1", 1, "p"),
                                                     Rec("Maker", "Cut", "9", 1, "C:\\x")});
        TScanFileWriter::WriteBytes(mf.Ivx() + "/" + longName + ".ivx", bytes.substr(0, bytes.size() - 5));
        TMergeSummary s = mf.Merge();
        ASSERT_EQ(s.Merged.size(), 1u);
        EXPECT_EQ(s.Merged[0].UserName, "abcdefghijklmnop");
    }
    EXPECT_EQ(mf.Lines(), (std::vector<std::string>{"abcdefghijklmnop|m|a1|1|1|p", "abcdefghijklmnop|Maker|Cut|9|1|"}));
    EXPECT_TRUE(mf.Waiting().empty());
}

TEST(DataFileMerge, EmptyFileRemovesTheUsersRows) {
    TMergeFolder mf;
    mf.Insert({Old("gone", 0), Old("kept", 0), Old("gone", 1)});
    mf.Scan("gone.ivx", {});
    mf.Restart(); // the pass itself opens the table, its walk still running when the file adds no row
    TMergeSummary s = mf.Merge();
    ASSERT_EQ(s.Merged.size(), 1u);
    EXPECT_EQ(s.Merged[0].Records, 0);
    EXPECT_EQ(mf.Lines(), OldLines("kept", 1));
    EXPECT_TRUE(mf.Waiting().empty());
}

TEST(DataFileMerge, MalformedFileIsLeftInPlaceWithItsUsersRowsAndTheOthersMerge) {
    TMergeFolder mf;
    mf.Insert({Old("bad", 0), Old("bad", 1), Old("good", 0)});
    // The bad length is in the second record, after a whole first record (29 bytes) and the maker item.
    std::string bad = TScanFileWriter::Encode({Rec("Acme", "AB", "1.0", -1, "C:\\")}) + Item("Acme") + Le32(300) +
                      std::string(300, 'z');
    TScanFileWriter::WriteBytes(mf.Ivx() + "/bad.ivx", bad);
    auto good = TScanFileWriter::SampleRecords(3, 2), zed = TScanFileWriter::SampleRecords(4, 2);
    mf.Scan("good.ivx", good);
    mf.Scan("a.ivx", zed);
    TMergeSummary s = mf.Merge();
    EXPECT_EQ(s.Errors, std::vector<std::string>{"Invalid scan data file " + mf.Ivx() +
                                                 "/bad.ivx: text length 300 at offset 37"});
    EXPECT_EQ(s.Merged.size(), 2u);
    auto users = mf.ByUser();
    EXPECT_EQ(users["bad"], OldLines("bad", 2));
    EXPECT_EQ(users["good"], Lines("good", good));
    EXPECT_EQ(users["a"], Lines("a", zed));
    EXPECT_EQ(mf.Waiting(), std::vector<std::string>{"bad.ivx"});
}

TEST(DataFileMerge, LockedFileIsLeftInPlaceReportedAndMergedNextTime) {
    TMergeFolder mf;
    mf.Insert({Old("busy", 0)});
    // A scanner still writing: it holds the lock and has written only the first record so far.
    auto scan = TScanFileWriter::SampleRecords(1, 2);
    std::string busy = mf.Scan("busy.ivx", {scan[0]});
    auto other = TScanFileWriter::SampleRecords(2, 2);
    mf.Scan("other.ivx", other);
    int fd = ::open(busy.c_str(), O_WRONLY | O_APPEND);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    TMergeSummary s = mf.Merge();
    EXPECT_EQ(s.Errors, std::vector<std::string>{"Cannot open file " + busy});
    auto users = mf.ByUser();
    EXPECT_EQ(users["busy"], OldLines("busy", 1));
    EXPECT_EQ(users["other"], Lines("other", other));
    EXPECT_EQ(mf.Waiting(), std::vector<std::string>{"busy.ivx"});

    std::string rest = TScanFileWriter::Encode({scan[1]});
    ASSERT_EQ(::write(fd, rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
    ::close(fd); // the scanner is done
    s = mf.Merge();
    EXPECT_TRUE(s.Errors.empty());
    users = mf.ByUser();
    EXPECT_EQ(users["busy"], Lines("busy", scan));
    EXPECT_EQ(users["other"], Lines("other", other));
    EXPECT_TRUE(mf.Waiting().empty());
}

TEST(DataFileMerge, ManyFilesAcrossSeveralCommitsAreAllMerged) {
    TMergeFolder mf;
    const int files = 2 * TDataFileMerge::BatchFiles + 37;
    for (int i = 0; i < files; ++i)
        mf.Scan("u" + std::to_string(1000 + i) + ".ivx", TScanFileWriter::SampleRecords(i, 2));
    TRecorder progress;
    TMergeSummary s = mf.Merge(&progress);
    EXPECT_EQ(s.Merged.size(), static_cast<std::size_t>(files));
    EXPECT_EQ(progress.calls.size(), static_cast<std::size_t>(files + 2));
    EXPECT_TRUE(mf.Waiting().empty());
    auto users = mf.ByUser();
    ASSERT_EQ(users.size(), static_cast<std::size_t>(files));
    for (int i = 0; i < files; ++i) {
        std::string u = "u" + std::to_string(1000 + i);
        EXPECT_EQ(users[u], Lines(u, TScanFileWriter::SampleRecords(i, 2)));
    }
}

TEST(DataFileMerge, TableErrorsEndThePassAndTheProgressIsFinished) {
    TMergeFolder broken;
    broken.dir.Write(TResultsDatabase::FileName, std::string(4096, 'x')); // not an SQLite database
    broken.Restart();
    broken.Scan("u.ivx", {Rec("m", "a", "1", 1, "")});
    TWorkFolder missing(false);
    fs::create_directory(missing.dir.File("ivx"));
    for (TWorkFolder *wf : {static_cast<TWorkFolder *>(&broken), &missing}) {
        TRecorder progress;
        EXPECT_FALSE(ErrorOf([&] { TDataFileMerge(*wf->dm, wf->dir.Path(), &progress).Run(); }).empty());
        ASSERT_FALSE(progress.calls.empty());
        EXPECT_EQ(progress.calls.front(), "start Merging data files...");
        EXPECT_EQ(progress.calls.back(), "finish");
    }
    EXPECT_EQ(broken.Waiting(), std::vector<std::string>{"u.ivx"});
}

// ---- A merge killed at any instant loses and duplicates nothing -------------------------------------------

// More files than one commit takes, so the pass commits at least twice.
constexpr int CrashUsers = TDataFileMerge::BatchFiles + TDataFileMerge::BatchFiles / 4, CrashOld = 3, CrashNew = 20;

std::string CrashUser(int i) { return "user" + std::to_string(100 + i); }

// Old rows for every user and two bystanders, and one waiting file per user.
void PrepareCrashFolder(TMergeFolder &mf) {
    mf.Table().Open();
    SQLite::Transaction tx(mf.dm->database.Connection());
    for (const std::string &u : {std::string("aaa"), std::string("zzz")})
        for (int k = 0; k < CrashOld; ++k) {
            TResultRow r = Old(u, k);
            mf.Table().InsertRow(r);
        }
    for (int i = 0; i < CrashUsers; ++i)
        for (int k = 0; k < CrashOld; ++k) {
            TResultRow r = Old(CrashUser(i), k);
            mf.Table().InsertRow(r);
        }
    tx.commit();
    for (int i = 0; i < CrashUsers; ++i)
        mf.Scan(CrashUser(i) + ".ivx", TScanFileWriter::SampleRecords(i, CrashNew));
    mf.dm.reset(); // the child process is the only one holding the table
}

// Polls cond until it holds, the child ends, or the time is up; true when cond held while the child ran.
bool WaitWhileRunning(pid_t child, int &status, const std::function<bool()> &cond) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (cond())
            return true;
        if (::waitpid(child, &status, WNOHANG) == child)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    ADD_FAILURE() << "the merge neither ended nor reached the kill point in time";
    return true;
}

TEST(DataFileMergeCrash, KilledMergeLosesNothingAndTheNextMergeFinishesTheJob) {
    const char *tool = std::getenv("INVEXA_TOOL");
    if (!tool || !fs::exists(tool))
        GTEST_SKIP() << "INVEXA_TOOL does not name the built invexa tool";
    TMergeFolder reference;
    PrepareCrashFolder(reference);
    reference.Restart();
    ASSERT_TRUE(reference.Merge().Errors.empty());
    // Files re-merged after the crash append their rows again at the end, so compare the rows, not their order.
    auto sorted = [](std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    const std::vector<std::string> expected = sorted(reference.Lines());

    // Kill points: while the first batch is written, once its files go, while a later batch is written.
    int killedMidway = 0;
    for (int point = 0; point < 4; ++point) {
        TMergeFolder mf;
        PrepareCrashFolder(mf);
        auto waiting = [&] { return static_cast<int>(std::distance(fs::directory_iterator(mf.Ivx()), {})); };
        auto journal = [&] { return fs::exists(mf.DbPath() + "-journal"); };
        const std::vector<std::function<bool()>> killAt = {
            journal,
            [&] { return waiting() < CrashUsers; },
            [&] { return waiting() < CrashUsers && journal(); },
            [&] { return waiting() < CrashUsers - TDataFileMerge::BatchFiles / 2; },
        };
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execl(tool, "invexa", "-C", mf.dir.Path().c_str(), "merge", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        if (WaitWhileRunning(child, status, killAt[point])) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            killedMidway += WIFSIGNALED(status) && waiting() > 0;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }

        mf.Restart();
        auto users = mf.ByUser(); // the table opens again after the crash
        EXPECT_EQ(users["aaa"], OldLines("aaa", CrashOld));
        EXPECT_EQ(users["zzz"], OldLines("zzz", CrashOld));
        for (int i = 0; i < CrashUsers; ++i) {
            std::string u = CrashUser(i);
            auto fresh = Lines(u, TScanFileWriter::SampleRecords(i, CrashNew));
            if (fs::exists(mf.Ivx() + "/" + u + ".ivx"))
                EXPECT_TRUE(users[u] == fresh || users[u] == OldLines(u, CrashOld)) << "kill point " << point << u;
            else
                EXPECT_EQ(users[u], fresh) << "kill point " << point;
        }
        TMergeSummary again = mf.Merge();
        EXPECT_TRUE(again.Errors.empty());
        EXPECT_TRUE(mf.Waiting().empty());
        EXPECT_EQ(sorted(mf.Lines()), expected) << "kill point " << point;
    }
    EXPECT_GE(killedMidway, 1) << "no kill landed inside a merge";
}

} // namespace
