// A working folder whose path is longer than the 259 characters the original program could hold: every command
// works there as anywhere else.
#include "cli/InvexaTool.h"
#include "data/ScanFileWriter.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using invexa::RunInvexa;
using invexa::TScanFileWriter;
using invexa::test::TTempDir;
namespace fs = std::filesystem;

namespace {

struct TRun {
    int status;
    std::string out, err;
};

TRun Tool(const std::string &dir, std::vector<std::string> args) {
    args.insert(args.begin(), {"-C", dir});
    std::ostringstream out, err;
    int status = RunInvexa(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(LongWorkingFolder, MergeExportAndSettingsWorkBeyond259Characters) {
    TTempDir root;
    std::string folder = root.Path() + "/" + std::string(120, 'a') + "/" + std::string(120, 'b') + "/working folder " +
                         std::string(60, 'c');
    ASSERT_GT(folder.size(), 300u);
    fs::create_directories(folder + "/ivx");
    ASSERT_EQ(Tool(folder, {"init"}).status, 0);
    TScanFileWriter::WriteFile(folder + "/ivx/alice.ivx", TScanFileWriter::SampleRecords(1, 3));
    TScanFileWriter::WriteFile(folder + "/ivx/bob.ivx", TScanFileWriter::SampleRecords(2, 4));

    TRun merge = Tool(folder, {"merge"});
    EXPECT_EQ(merge.status, 0) << merge.err;
    EXPECT_NE(merge.out.find("Merged 2 file(s), 7 record(s), from " + folder + "/ivx"), std::string::npos) << merge.out;
    EXPECT_TRUE(fs::is_empty(folder + "/ivx"));

    TRun exported = Tool(folder, {"export"});
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.out, "Exported 7 row(s) to " + folder + "/datadump.csv\n");
    std::ifstream csv(folder + "/datadump.csv", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(csv)), std::istreambuf_iterator<char>());
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos; at += 2)
        ++lines;
    EXPECT_EQ(lines, 7u);
    EXPECT_EQ(bytes.rfind("\"alice\",", 0), 0u);

    EXPECT_EQ(Tool(folder, {"switch", "StealthMode", "off"}).status, 0);
    EXPECT_EQ(Tool(folder, {"ignore", "add", "Acme", "Tool"}).status, 0);
    TRun settings = Tool(folder, {"settings"});
    EXPECT_EQ(settings.status, 0);
    EXPECT_EQ(settings.out, "UseIgnoreList=1\nSearchForExe=1\nStealthMode=0\nDistribution=\n[Ignore Apps]\nAcme\\Tool\n"
                            "[EXE Names]\n");
}

} // namespace
