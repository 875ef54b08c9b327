// The results table on a failing disk and under another program's lock: the merge stops with a clear error,
// loses and duplicates nothing, and the next merge finishes the job.
#include "support/ChildProcess.h"
#include "support/FaultVfs.h"
#include "support/ScanFolder.h"

#include <sys/resource.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace invexa;
using namespace invexa::test;

namespace {

// More files than one commit takes when the open-file limit is low (the merge then commits every 16 files),
// so a fault can land before, inside and after the first commit.
constexpr int FaultUsers = 20, FaultOld = 2, FaultNew = 3;
constexpr rlim_t LowFileLimit = 80;

std::string FaultUser(int i) { return "user" + std::to_string(10 + i); }

std::vector<std::string> AllUsers() {
    std::vector<std::string> users{"bystander"};
    for (int i = 0; i < FaultUsers; ++i)
        users.push_back(FaultUser(i));
    return users;
}

void PrepareFaultFolder(TScanFolder &f) {
    f.InsertOld(AllUsers(), FaultOld);
    for (int i = 0; i < FaultUsers; ++i)
        f.Scan(FaultUser(i) + ".ivx", TScanFileWriter::SampleRecords(i, FaultNew));
    f.dm.reset(); // the merging child opens its own connection
}

struct TFaultRun {
    std::string Outcome; // "merged" or the message of the error
    long Operations = 0, Failures = 0;
};

// Merges the folder in a child process whose disk fails as armed; the child's low open-file limit makes the
// merge commit in several batches.
TFaultRun MergeOnFailingDisk(const std::string &folder, long failAt, FaultVfs::EMode mode) {
    TChildResult child = RunInChild([&] {
        rlimit lim{LowFileLimit, LowFileLimit};
        ::setrlimit(RLIMIT_NOFILE, &lim);
        FaultVfs::Register();
        TResultsDatabase::SetVfsForTests(FaultVfs::Name);
        FaultVfs::Arm(failAt, mode);
        std::string outcome;
        try {
            TDataModule1 dm(folder);
            TMergeSummary s = TDataFileMerge(dm, folder).Run();
            outcome = s.Errors.empty() ? "merged" : "file errors: " + s.Errors.front();
        } catch (const EInvexaError &e) {
            outcome = e.what();
        } catch (const std::exception &e) {
            outcome = std::string("not an EInvexaError: ") + e.what();
        }
        return std::to_string(FaultVfs::Operations()) + " " + std::to_string(FaultVfs::Failures()) + " " + outcome;
    });
    EXPECT_TRUE(child.ExitedCleanly()) << "the merging child crashed or hung: " << child.Status;
    TFaultRun run;
    std::size_t a = child.Text.find(' '), b = child.Text.find(' ', a + 1);
    if (a == std::string::npos || b == std::string::npos) {
        ADD_FAILURE() << "no report from the merging child: " << child.Text;
        return run;
    }
    run.Operations = std::stol(child.Text.substr(0, a));
    run.Failures = std::stol(child.Text.substr(a + 1, b - a - 1));
    run.Outcome = child.Text.substr(b + 1);
    return run;
}

TEST(StoreFaults, EveryFailingWriteOrSyncOfAMergeLosesNothingAndTheNextMergeFinishes) {
    TScanFolder reference;
    PrepareFaultFolder(reference);
    ASSERT_EQ(MergeOnFailingDisk(reference.dir.Path(), 0, FaultVfs::EMode::Once).Outcome, "merged");
    reference.Restart();
    const std::vector<std::string> expected = reference.SortedLines();
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(FaultOld + FaultUsers * FaultNew));

    for (FaultVfs::EMode mode : {FaultVfs::EMode::Once, FaultVfs::EMode::FromThenOn}) {
        int injected = 0, partlyCommitted = 0;
        for (long n = 1;; ++n) {
            ASSERT_LT(n, 1000) << "the merge never got past its faults";
            TScanFolder f;
            PrepareFaultFolder(f);
            TFaultRun run = MergeOnFailingDisk(f.dir.Path(), n, mode);
            if (run.Failures == 0) {
                // n lies beyond the merge's last write or sync: every fault point has been tried.
                EXPECT_EQ(run.Outcome, "merged");
                EXPECT_EQ(run.Operations, n - 1);
                break;
            }
            ++injected;
            SCOPED_TRACE("fault at write or sync " + std::to_string(n) + (mode == FaultVfs::EMode::Once ? ", once" : ", from then on"));
            // A fault SQLite works around may still end in a complete merge; any other outcome is the clear
            // error of the table.
            if (run.Outcome != "merged") {
                EXPECT_EQ(run.Outcome.rfind("Error in the results table " + f.DbPath() + ": ", 0), 0u) << run.Outcome;
            }

            f.Restart(); // a new program start on a sound disk: the table opens again
            auto users = f.ByUser();
            EXPECT_EQ(users["bystander"], TScanFolder::OldLines("bystander", FaultOld));
            int gone = 0;
            for (int i = 0; i < FaultUsers; ++i) {
                const std::string u = FaultUser(i);
                auto fresh = TScanFolder::NewLines(u, TScanFileWriter::SampleRecords(i, FaultNew));
                if (f.Waiting(u + ".ivx")) {
                    EXPECT_TRUE(users[u] == fresh || users[u] == TScanFolder::OldLines(u, FaultOld)) << u;
                } else {
                    EXPECT_EQ(users[u], fresh) << u << "'s file is gone but its rows are not committed";
                    ++gone;
                }
            }
            partlyCommitted += gone > 0 && gone < FaultUsers;

            TMergeSummary again = f.Merge();
            EXPECT_TRUE(again.Errors.empty());
            EXPECT_TRUE(f.Waiting().empty());
            EXPECT_EQ(f.SortedLines(), expected);
        }
        EXPECT_GT(injected, 10);
        EXPECT_GT(partlyCommitted, 0) << "no fault fell between two commits";
        std::cout << "[ faults   ] " << injected << " fault points "
                  << (mode == FaultVfs::EMode::Once ? "(one failing write or sync)" : "(disk full from then on)")
                  << " survived\n";
    }
}

// ---- Another program holding a write lock on Results.sqlite ---------------------------------------------------

// A second program that takes the lock, changes a row inside its transaction and holds on until told to let go.
class TLockHolder {
public:
    TLockHolder(const std::string &dbPath, const char *begin) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            char answer = 'x';
            try {
                SQLite::Database db(dbPath, SQLite::OPEN_READWRITE);
                db.exec(begin);
                db.exec("UPDATE Results SET AppName = 'held' WHERE UserName = 'bystander'");
                answer = 'L';
                (void)!::write(ready[1], &answer, 1);
                char c;
                (void)!::read(release[0], &c, 1); // until the test closes its end
                db.exec("ROLLBACK");
            } catch (...) {
                (void)!::write(ready[1], &answer, 1);
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_ = release[1];
        pollfd p{ready[0], POLLIN, 0};
        char c = 0;
        locked_ = ::poll(&p, 1, 10000) == 1 && ::read(ready[0], &c, 1) == 1 && c == 'L';
        ::close(ready[0]);
    }
    ~TLockHolder() { Release(); }
    bool Locked() const { return locked_; }
    void Release() {
        if (release_ < 0)
            return;
        ::close(release_);
        release_ = -1;
        int status = 0;
        WaitFor(pid_, status, std::chrono::seconds(10));
    }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool locked_ = false;
};

TEST(StoreBusy, TableLockedByAnotherProgramEndsTheMergeClearlyAfterABoundedWait) {
    // EXCLUSIVE keeps even readers out, so the table cannot be opened; IMMEDIATE lets the merge open the table
    // and stops it at its first write.
    for (const char *begin : {"BEGIN EXCLUSIVE", "BEGIN IMMEDIATE"}) {
        SCOPED_TRACE(begin);
        TScanFolder f;
        f.InsertOld({"bystander", "u1", "u2"}, 1);
        auto u1 = TScanFileWriter::SampleRecords(1, 4), u2 = TScanFileWriter::SampleRecords(2, 4);
        f.Scan("u1.ivx", u1);
        f.Scan("u2.ivx", u2);
        f.dm.reset();

        TLockHolder holder(f.DbPath(), begin);
        ASSERT_TRUE(holder.Locked());
        // The merge runs in a process of its own, so that a merge that never gave up would be killed at the
        // deadline and fail the test instead of hanging it.
        TChildResult merge = RunInChild(
            [&] {
                TResultsDatabase::SetBusyTimeoutForTests(200);
                TDataModule1 dm(f.dir.Path());
                try {
                    TDataFileMerge(dm, f.dir.Path()).Run();
                    return std::string("merged");
                } catch (const std::exception &e) {
                    return std::string(e.what());
                }
            },
            std::chrono::seconds(30));
        ASSERT_TRUE(merge.ExitedCleanly()) << "the merge did not give up on the lock";
        EXPECT_EQ(merge.Text, "The results table " + f.DbPath() +
                                  " is locked by another program; try again when it has finished");
        holder.Release();

        f.Restart();
        EXPECT_EQ(f.Waiting(), (std::vector<std::string>{"u1.ivx", "u2.ivx"}));
        auto users = f.ByUser();
        EXPECT_EQ(users["u1"], TScanFolder::OldLines("u1", 1));
        EXPECT_EQ(users["bystander"], TScanFolder::OldLines("bystander", 1));
        EXPECT_TRUE(f.Merge().Errors.empty());
        users = f.ByUser();
        EXPECT_EQ(users["u1"], TScanFolder::NewLines("u1", u1));
        EXPECT_EQ(users["u2"], TScanFolder::NewLines("u2", u2));
        EXPECT_TRUE(f.Waiting().empty());
    }
}

} // namespace
