#include "cli/InvexaTool.h"
#include "data/ScanFileWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <SQLiteCpp/Database.h>

#include <cstdlib>
#include <sstream>

using invexa::RunInvexa;
using invexa::TResultsRec;
using invexa::TScanFileWriter;
using invexa::test::TTempDir;

namespace {

struct TRun {
    int status;
    std::string out, err;
};

TRun Tool(const std::string &dir, std::vector<std::string> args) {
    if (!dir.empty())
        args.insert(args.begin(), {"-C", dir});
    std::ostringstream out, err;
    int status = RunInvexa(args, out, err);
    return {status, out.str(), err.str()};
}

long long Count(const std::string &dir, const std::string &where = "1") {
    SQLite::Database db(dir + "/Results.sqlite");
    return db.execAndGet("SELECT count(*) FROM Results WHERE " + where).getInt64();
}

TResultsRec Rec(std::string maker, std::string app, std::int8_t flag = 1, std::string path = "C:\\x.exe") {
    return TResultsRec{std::move(maker), std::move(app), "1.0", flag, std::move(path)};
}

class InvexaTool : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Tool(dir.Path(), {"init"}).status, 0); }
    TTempDir dir;
};

} // namespace

TEST(InvexaToolUsage, ExitStatusTwoForUsageErrorsAndZeroForHelpAndVersion) {
    EXPECT_EQ(Tool("", {}).status, 2);
    EXPECT_EQ(Tool("", {"frobnicate"}).status, 2);
    EXPECT_EQ(Tool("", {"ignore"}).status, 2);
    EXPECT_EQ(Tool("", {"switch", "StealthMode", "maybe"}).status, 2);
    EXPECT_EQ(Tool("", {"exe", "add", "OnlyApp"}).status, 2);
    TRun version = Tool("", {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("1.1.2.1"), std::string::npos);
    TRun help = Tool("", {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("merge"), std::string::npos);
}

TEST_F(InvexaTool, InitLeavesAnExistingTableAlone) {
    TScanFileWriter::WriteFile(dir.File("u1.ivx"), {Rec("M", "A")});
    ASSERT_EQ(Tool(dir.Path(), {"merge"}).status, 0);
    TRun again = Tool(dir.Path(), {"init"});
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.out.find("nothing changed"), std::string::npos);
    EXPECT_EQ(Count(dir.Path()), 1);
}

TEST(InvexaToolTable, MissingTableIsAnOperationErrorThatNamesTheFolderAndTheCure) {
    TTempDir dir;
    for (const char *command : {"merge", "export", "empty"}) {
        TRun run = Tool(dir.Path(), {command});
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_NE(run.err.find(dir.Path()), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("invexa init"), std::string::npos) << run.err;
    }
    EXPECT_FALSE(dir.Exists("datadump.csv"));
}

TEST_F(InvexaTool, MergeReportsEachFileAndFailsWhenAFileIsLeftBehind) {
    std::filesystem::create_directory(dir.File("ivx"));
    TScanFileWriter::WriteFile(dir.File("ivx/alice.ivx"), {Rec("M", "A"), Rec("M", "B")});
    std::string bad = TScanFileWriter::Encode({Rec("M", "A")});
    bad[0] = 44; // a text length of 300
    bad[1] = 1;
    dir.Write("ivx/bob.ivx", bad);
    TRun run = Tool(dir.Path(), {"merge"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("merged alice.ivx: 2 records"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("Invalid scan data file " + dir.File("ivx/bob.ivx") + ": text length 300 at offset 0"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(dir.Exists("ivx/alice.ivx"));
    EXPECT_TRUE(dir.Exists("ivx/bob.ivx"));
    EXPECT_EQ(Count(dir.Path()), 2);
}

TEST_F(InvexaTool, ExportWritesTheRowsInGridOrderAsCrLfLines) {
    TScanFileWriter::WriteFile(dir.File("u1.ivx"), {Rec("Acme, Inc", "Say \"hi\"", -1, ""), Rec("Caf\xe9", "B", 2)});
    ASSERT_EQ(Tool(dir.Path(), {"merge"}).status, 0);
    TRun run = Tool(dir.Path(), {"export"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(dir.Read("datadump.csv"), "\"u1\",\"Acme, Inc\",\"Say \"hi\"\",\"1.0\",-1,\"\"\r\n"
                                        "\"u1\",\"Caf\xe9\",\"B\",\"1.0\",2,\"C:\\x.exe\"\r\n");
}

TEST_F(InvexaTool, DeleteAppAndEmptyRemoveRows) {
    TScanFileWriter::WriteFile(dir.File("u1.ivx"), {Rec("M", "A"), Rec("M", "B"), Rec("N", "A")});
    TScanFileWriter::WriteFile(dir.File("u2.ivx"), {Rec("M", "A")});
    ASSERT_EQ(Tool(dir.Path(), {"merge"}).status, 0);
    TRun del = Tool(dir.Path(), {"delete-app", "M", "A"});
    EXPECT_EQ(del.status, 0);
    EXPECT_NE(del.out.find("Deleted 2 row(s)"), std::string::npos) << del.out;
    EXPECT_EQ(Count(dir.Path()), 2);
    EXPECT_EQ(Tool(dir.Path(), {"empty"}).status, 0);
    EXPECT_EQ(Count(dir.Path()), 0);
}

TEST_F(InvexaTool, SettingsEditsPrintAndSaveOnlyTheChangedGroup) {
    dir.Write("INVEXA.INI", "[Other]\r\nkeep=1\r\n[Switches]\r\nUseIgnoreList=0\r\nExtra=x\r\n");
    EXPECT_EQ(Tool(dir.Path(), {"ignore", "add", "Zeta"}).status, 0);
    EXPECT_EQ(Tool(dir.Path(), {"ignore", "add", "alpha", "Tool"}).status, 0);
    EXPECT_EQ(Tool(dir.Path(), {"exe", "add", "Firefox", "firefox.exe"}).status, 0);
    // The switches were not edited: their section keeps its foreign key.
    EXPECT_NE(dir.Read("INVEXA.INI").find("Extra=x"), std::string::npos);
    EXPECT_NE(dir.Read("INVEXA.INI").find("[Other]\r\nkeep=1\r\n"), std::string::npos);
    EXPECT_EQ(Tool(dir.Path(), {"distribution", "Head Office"}).status, 0);
    EXPECT_EQ(dir.Read("INVEXA.INI").find("Extra=x"), std::string::npos);
    EXPECT_EQ(Tool(dir.Path(), {"switch", "stealthmode", "off"}).status, 0);
    TRun settings = Tool(dir.Path(), {"settings"});
    EXPECT_EQ(settings.status, 0);
    EXPECT_EQ(settings.out, "UseIgnoreList=0\nSearchForExe=1\nStealthMode=0\nDistribution=Head Office\n"
                            "[Ignore Apps]\nalpha\\Tool\nZeta\n[EXE Names]\nFirefox=firefox.exe\n");
    EXPECT_EQ(Tool(dir.Path(), {"ignore", "remove", "Zeta"}).status, 0);
    EXPECT_EQ(Tool(dir.Path(), {"exe", "remove", "Firefox=firefox.exe"}).status, 0);
    EXPECT_EQ(dir.Read("INVEXA.INI").find("[EXE Names]"), std::string::npos);
}

TEST_F(InvexaTool, RefusedEntriesFailWithTheWindowsMessageAndLeaveTheFileAlone) {
    dir.Write("INVEXA.INI", "[Ignore Apps]\r\nA=\r\n");
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {{{"ignore", "add", ""}, "You must enter an Application Maker"},
                 {{"exe", "add", "", "x.exe"}, "You must enter an Application name"},
                 {{"exe", "add", "App", ""}, "You must enter an EXE file name"},
                 {{"ignore", "remove", "B"}, "B"},
                 {{"switch", "Bogus", "on"}, "Bogus"}};
    for (const Case &c : cases) {
        TRun run = Tool(dir.Path(), c.args);
        EXPECT_EQ(run.status, 1) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_EQ(dir.Read("INVEXA.INI"), "[Ignore Apps]\r\nA=\r\n");
}

TEST(InvexaToolBinary, DemoFolderMergesAndExportsThroughTheRealProgram) {
    const char *tool = std::getenv("INVEXA_TOOL");
    ASSERT_NE(tool, nullptr) << "INVEXA_TOOL names the built invexa program";
    TTempDir dir;
    std::string demo = dir.File("demo folder");
    auto sh = [&](const std::string &args) {
        return std::system(("'" + std::string(tool) + "' " + args + " >/dev/null 2>&1").c_str());
    };
    ASSERT_EQ(sh("demo '" + demo + "'"), 0);
    EXPECT_EQ(sh("-C '" + demo + "' merge"), 0);
    EXPECT_EQ(sh("-C '" + demo + "' export"), 0);
    EXPECT_GT(Count(demo), 0);
    EXPECT_TRUE(std::filesystem::is_empty(demo + "/ivx"));
    EXPECT_GT(std::filesystem::file_size(demo + "/datadump.csv"), 0u);
    EXPECT_NE(WEXITSTATUS(sh("-C '" + demo + "' nonsense")), 0);
}
