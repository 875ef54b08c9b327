// The results table on a failing disk: the merge stops with a clear error, loses and duplicates nothing, and the
// next merge finishes the job. (Another program's lock on the table: tests/cli.)
#include "support/ChildProcess.h"
#include "support/FaultVfs.h"
#include "support/ResultsFixture.h"

#include <sys/resource.h>
#include <unistd.h>

using namespace invexa;
using namespace invexa::test;

namespace {

// Merges the folder in a child process whose disk fails as armed: "<writes and syncs> <failures> <outcome>". The
// child's low open-file limit makes the merge commit every 16 files, so faults land before, in and after commits.
std::string MergeOnFailingDisk(const std::string &folder, long failAt, FaultVfs::EMode mode) {
    TChildResult child = RunInChild([&] {
        rlimit lim{80, 80};
        ::setrlimit(RLIMIT_NOFILE, &lim);
        FaultVfs::Register();
        TResultsDatabase::SetVfsForTests(FaultVfs::Name);
        FaultVfs::Arm(failAt, mode);
        std::string outcome = "merged";
        try {
            TDataModule1 dm(folder);
            TMergeSummary s = TDataFileMerge(dm, folder).Run();
            if (!s.Errors.empty())
                outcome = "file errors: " + s.Errors.front();
        } catch (const EInvexaError &e) {
            outcome = e.what();
        }
        return std::to_string(FaultVfs::Operations()) + " " + std::to_string(FaultVfs::Failures()) + " " + outcome;
    });
    EXPECT_TRUE(child.ExitedCleanly()) << "the merging child crashed or hung: " << child.Status << child.Text;
    return child.Text;
}

TEST(StoreFaults, EveryFailingWriteOrSyncOfAMergeLosesNothingAndTheNextMergeFinishes) {
    // Rows appended after the old ones are removed; rows written over the old ones in place until the eleventh
    // user, who has more records than before, sends its rows and the ones before to the end.
    const TCrowd crowds[] = {{20, 2, 3}, {20, 3, 3, 10}};
    for (const TCrowd &crowd : crowds)
        for (FaultVfs::EMode mode : {FaultVfs::EMode::Once, FaultVfs::EMode::FromThenOn}) {
            int injected = 0, partlyCommitted = 0;
            for (long n = 1;; ++n) {
                ASSERT_LT(n, 1000) << "the merge never got past its faults";
                SCOPED_TRACE("fault at write or sync " + std::to_string(n) +
                             (mode == FaultVfs::EMode::Once ? ", once" : ", from then on"));
                TWorkFolder f;
                crowd.Prepare(f);
                std::istringstream report(MergeOnFailingDisk(f.dir.Path(), n, mode));
                long operations = 0, failures = 0;
                std::string outcome;
                report >> operations >> failures >> std::ws;
                std::getline(report, outcome);
                if (failures == 0) { // n lies beyond the merge's last write or sync: every fault point has been tried
                    EXPECT_EQ(outcome, "merged");
                    EXPECT_EQ(operations, n - 1);
                    break;
                }
                ++injected;
                int gone = crowd.CheckAndFinish(f); // a new program start on a sound disk
                // A fault SQLite works around may still end in a whole merge; any other outcome is the table's error,
                // saying how many files the commits before it merged and deleted.
                if (outcome != "merged") {
                    EXPECT_EQ(outcome.rfind("Error in the results table " + f.DbPath() + ": ", 0), 0u) << outcome;
                    const std::string kept = "; before it, " + std::to_string(gone) +
                                             " scan data file(s) were merged and " + std::to_string(gone) +
                                             " of them deleted";
                    EXPECT_TRUE(gone ? outcome.ends_with(kept) : outcome.find("; before it") == std::string::npos)
                        << outcome;
                }
                partlyCommitted += gone > 0 && gone < crowd.users;
            }
            EXPECT_GT(injected, 10);
            EXPECT_GT(partlyCommitted, 0) << "no fault fell between two commits";
            std::cout << "[ faults   ] " << injected << " fault points "
                      << (mode == FaultVfs::EMode::Once ? "(one failing write or sync)" : "(disk full from then on)")
                      << " survived\n";
        }
}

} // namespace
