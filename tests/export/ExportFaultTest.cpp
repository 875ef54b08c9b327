// The export run by an ordinary user: a datadump.csv the user may not write keeps its old content.
#include "export/CsvExport.h"
#include "support/ChildProcess.h"
#include "support/ResultsFixture.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace invexa;
using namespace invexa::test;

namespace {

TEST(CsvExportAsUser, FileTheUserMayNotWriteKeepsItsOldContent) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    TWorkFolder f;
    f.Insert({Row("a", "m", "x", "1", 1, "p")});
    f.dir.Write(TCsvExport::FileName, "old content\r\n");
    // Writable by its owner only: nothing marks it read-only, the system itself refuses the other user.
    const std::string csv = f.dir.File(TCsvExport::FileName);
    ASSERT_EQ(::chmod(csv.c_str(), 0644), 0);
    ASSERT_EQ(::chmod(f.dir.Path().c_str(), 0755), 0);
    f.dm.reset();
    TChildResult child = RunInChild([&] {
        TDataModule1 dm(f.dir.Path());
        dm.resultsTbl.Open(); // as root, as the program started; the user changes before the button is pressed
        if (!BecomeNobody())
            return std::string("cannot become nobody");
        try {
            TCsvExport::Export(dm.resultsTbl, csv);
            return std::string("exported");
        } catch (const EInvexaError &e) {
            return std::string(e.what());
        }
    });
    ASSERT_TRUE(child.ExitedCleanly());
    if (child.Text == "cannot become nobody")
        GTEST_SKIP() << "no user 'nobody' to act as";
    EXPECT_EQ(child.Text, "File access denied");
    EXPECT_EQ(f.dir.Read(TCsvExport::FileName), "old content\r\n");
}

} // namespace
