// Two administrators started at once in the same folder: each merge either takes a file or leaves it, no row
// is lost or doubled, and whatever is left is merged by the next start.
#include "support/ChildProcess.h"
#include "support/ScanFolder.h"

#include <fstream>
#include <sstream>
#include <sys/wait.h>

using namespace invexa;
using namespace invexa::test;

namespace {

constexpr int Users = 400, OldRows = 2, NewRows = 5;

std::string User(int i) { return "u" + std::to_string(1000 + i); }

void Prepare(TScanFolder &f) {
    std::vector<std::string> users{"bystander"};
    for (int i = 0; i < Users; ++i)
        users.push_back(User(i));
    f.InsertOld(users, OldRows);
    for (int i = 0; i < Users; ++i)
        f.Scan(User(i) + ".ivx", TScanFileWriter::SampleRecords(i, NewRows));
    f.dm.reset();
}

std::vector<std::string> ReadLines(const std::string &path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Removes each scan file just as the merge reaches it, as another administrator who merged it a moment earlier
// would have.
struct TOtherAdministrator : IProgress {
    std::string folder;
    void Start(const std::string &) override {}
    void Step(const std::string &name) override { std::filesystem::remove(folder + "/" + name); }
    void Finish() override {}
};

TEST(TwoAdministrators, FileMergedByTheOtherSinceTheListingIsNoError) {
    TScanFolder f;
    f.InsertOld({"u1"}, 1);
    f.Scan("u1.ivx", TScanFileWriter::SampleRecords(1, 2));
    TOtherAdministrator other;
    other.folder = f.Ivx();
    TMergeSummary s = TDataFileMerge(*f.dm, f.dir.Path(), &other).Run();
    // Nothing was left in place, so there is nothing to report, and the user's rows are not touched.
    EXPECT_TRUE(s.Errors.empty()) << s.Errors.front();
    EXPECT_TRUE(s.Merged.empty());
    EXPECT_EQ(f.ByUser()["u1"], TScanFolder::OldLines("u1", 1));
}

TEST(TwoAdministrators, MergingTheSameFolderAtOnceLosesAndDoublesNothing) {
    if (ToolPath().empty())
        GTEST_SKIP() << "INVEXA_TOOL does not name the built invexa tool";
    TScanFolder reference;
    Prepare(reference);
    reference.Restart();
    ASSERT_TRUE(reference.Merge().Errors.empty());
    const std::vector<std::string> expected = reference.SortedLines();

    int contested = 0;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TScanFolder f;
        Prepare(f);
        pid_t admin[2];
        for (int k = 0; k < 2; ++k)
            admin[k] = StartTool({"-C", f.dir.Path(), "merge"}, f.dir.File("out" + std::to_string(k)),
                                 f.dir.File("err" + std::to_string(k)));
        for (int k = 0; k < 2; ++k) {
            int status = 0;
            ASSERT_TRUE(WaitFor(admin[k], status, std::chrono::seconds(60))) << "administrator " << k << " hung";
            ASSERT_TRUE(WIFEXITED(status));
            // Each one either merged cleanly or says which files it left, or that the other holds the table.
            for (const std::string &line : ReadLines(f.dir.File("err" + std::to_string(k)))) {
                bool known = line.rfind("Cannot open file " + f.Ivx() + "/", 0) == 0 ||
                             line == "The results table " + f.DbPath() +
                                         " is locked by another program; try again when it has finished" ||
                             line.find("scan data file(s) left in place") != std::string::npos;
                EXPECT_TRUE(known) << line;
                contested += line.rfind("Cannot open file", 0) == 0;
            }
            EXPECT_EQ(WEXITSTATUS(status) == 0, ReadLines(f.dir.File("err" + std::to_string(k))).empty());
        }

        f.Restart();
        auto users = f.ByUser();
        EXPECT_EQ(users["bystander"], TScanFolder::OldLines("bystander", OldRows));
        for (int i = 0; i < Users; ++i) {
            const std::string u = User(i);
            auto fresh = TScanFolder::NewLines(u, TScanFileWriter::SampleRecords(i, NewRows));
            if (f.Waiting(u + ".ivx"))
                EXPECT_TRUE(users[u] == fresh || users[u] == TScanFolder::OldLines(u, OldRows)) << u;
            else
                EXPECT_EQ(users[u], fresh) << u;
        }
        TMergeSummary again = f.Merge();
        EXPECT_TRUE(again.Errors.empty());
        EXPECT_TRUE(f.Waiting().empty());
        EXPECT_EQ(f.SortedLines(), expected);
    }
    std::cout << "[ contest  ] " << contested << " files refused to one administrator while the other held them\n";
}

} // namespace
