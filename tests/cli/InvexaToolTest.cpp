// The invexa tool: exit statuses, messages, settings edits, the real program on a demo folder. Each command runs
// in an ordinary folder and in one whose path is longer than 259 characters, beyond the folder paths of up to 259
// characters that the program must handle.
#include "cli/InvexaTool.h"
#include "cli/TerminalProgress.h"
#include "config/SettingsEditor.h"
#include "data/ResultsDatabase.h"
#include "data/ScanFileWriter.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <SQLiteCpp/Database.h>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using namespace invexa;
using namespace invexa::test;
namespace fs = std::filesystem;

namespace {

struct TRun {
    int Status;
    std::string Out, Err;
};

// args: the words after "-C dir" (none when dir is empty), separated by "|".
TRun Tool(const std::string &dir, const std::string &args) {
    std::vector<std::string> words;
    if (!dir.empty())
        words = {"-C", dir};
    for (std::size_t at = 0, end = 0; !args.empty() && end != std::string::npos; at = end + 1)
        words.push_back(args.substr(at, (end = args.find('|', at)) - at));
    std::ostringstream out, err;
    int status = RunInvexa(words, out, err);
    return {status, out.str(), err.str()};
}

std::vector<std::string> Folders(const TTempDir &root) {
    std::vector<std::string> folders = {
        root.File("work"),
        root.File(std::string(120, 'a') + "/" + std::string(120, 'b') + "/working folder " + std::string(60, 'c'))};
    for (const std::string &folder : folders)
        fs::create_directories(folder + "/ivx");
    return folders;
}

TEST(InvexaTool, UsageErrorsExitTwoHelpAndVersionZero) {
    for (const auto &[args, message] :
         std::vector<std::pair<std::string, std::string>>{{"", ""},
                                                          {"frobnicate", "Unknown command 'frobnicate'"},
                                                          {"ignore|frob|x", "Unknown command 'frob'"},
                                                          {"ignore", ""},
                                                          {"switch|StealthMode|maybe", ""},
                                                          {"exe|add|OnlyApp", ""},
                                                          {"demo", ""},
                                                          {"merge|--format|xml", "xml not in {text,json}"},
                                                          {"settings|--format|csv", "csv not in {text,json}"}}) {
        TRun run = Tool(".", args);
        EXPECT_EQ(run.Status, 2) << args;
        EXPECT_NE(run.Err.find(message), std::string::npos) << run.Err;
    }
    // A working folder that does not exist is an error for every command, whatever it does with the folder.
    for (const char *args : {"settings", "init", "export", "ignore|add|x", "distribution|x"}) {
        TRun run = Tool("/nonexistent/folder", args);
        EXPECT_EQ(run.Status, 1) << args;
        EXPECT_EQ(run.Err, "The working folder /nonexistent/folder does not exist or is not a folder\n") << args;
    }
    for (const auto &[args, text] : {std::pair{"--version", "1.1.2.1"}, std::pair{"--help", "merge"}}) {
        TRun run = Tool(".", args);
        EXPECT_EQ(run.Status, 0);
        EXPECT_NE(run.Out.find(text), std::string::npos) << run.Out;
    }
}

TEST(InvexaTool, TableCommandsReportWhatTheyDid) {
    TTempDir root;
    for (const std::string &dir : Folders(root)) {
        SCOPED_TRACE(dir);
        TRun missing = Tool(dir, "export"); // the message itself: tests/data
        EXPECT_EQ(missing.Status, 1);
        EXPECT_NE(missing.Err.find("invexa init"), std::string::npos) << missing.Err;
        EXPECT_FALSE(fs::exists(dir + "/datadump.csv"));
        EXPECT_EQ(Tool(dir, "init").Out, "Created the empty results table in " + dir + "/Results.sqlite\n");

        // Control characters in names reach the terminal escaped, never raw.
        ScanFileWriter::WriteFile(dir + "/ivx/alice.ivx", {{"M", "A", "1.0", 1, "C:\\a.exe"}, {"M", "B", "2", -1, ""}});
        std::string bad = ScanFileWriter::Encode({{"M", "A", "1.0", 1, ""}});
        bad[0] = 44; // a text length of 300
        bad[1] = 1;
        ScanFileWriter::WriteBytes(dir + "/ivx/b\x1b[2Job\x9B.ivx", bad);
        ScanFileWriter::WriteFile(dir + "/ivx/carol\r\x7F.ivx", {});
        TRun merge = Tool(dir, "merge");
        EXPECT_EQ(merge.Status, 1);
        EXPECT_EQ(merge.Out, "merged alice.ivx: 2 records for user 'alice'\nmerged carol\\x0d\\x7f.ivx: 0 records for "
                             "user 'carol\\x0d\\x7f'\nMerged 2 file(s), 2 record(s), from " +
                                 dir + "/ivx\n");
        EXPECT_EQ(merge.Err, "Invalid scan data file " + dir +
                                 "/ivx/b\\x1b[2Job\\x9b.ivx: text length 300 at offset 0\n"
                                 "1 scan data file(s) left in place; they are merged again next time\n");
        EXPECT_FALSE(fs::exists(dir + "/ivx/alice.ivx"));
        EXPECT_TRUE(fs::exists(dir + "/ivx/b\x1b[2Job\x9B.ivx"));
        // The summary for scripts; --quiet leaves the errors only.
        ScanFileWriter::WriteFile(dir + "/ivx/d\xE9.ivx", {{"M", "C", "1", 0, ""}});
        TRun json = Tool(dir, "merge|--format|json");
        EXPECT_EQ(json.Status, 1);
        EXPECT_EQ(json.Out, "{\"files_merged\": 1, \"rows\": 1, \"folder\": \"" + dir +
                                "/ivx\",\n \"merged\": [\n   {\"file\": \"d\xC3\xA9.ivx\", \"user\": \"d\xC3\xA9\", "
                                "\"records\": 1}],\n \"files_left\": 1, \"left\": [\"Invalid scan data file " +
                                dir +
                                "/ivx/b\\\\x1b[2Job\\\\x9b.ivx: text length 300 at offset 0\"],\n \"warnings\": []}\n");
        TRun quiet = Tool(dir, "merge|--quiet");
        EXPECT_EQ(quiet.Out, "");
        EXPECT_EQ(quiet.Err, merge.Err);

        EXPECT_NE(Tool(dir, "init").Out.find("nothing changed"), std::string::npos);
        TRun exported = Tool(dir, "export");
        EXPECT_EQ(exported.Status, 0) << exported.Err;
        EXPECT_EQ(exported.Out, "Exported 3 row(s) to " + dir + "/datadump.csv\n");
        EXPECT_EQ(ReadFile(dir + "/datadump.csv").rfind("\"alice\",\"M\",\"A\",", 0), 0u); // the bytes: tests/export
        EXPECT_EQ(Tool(dir, "delete-app|M|A").Out, "Deleted 1 row(s) of M\\A\n");
        EXPECT_EQ(Tool(dir, "empty").Out, "Emptied the results table\n");
        EXPECT_EQ(Tool(dir, "export").Out, "Exported 0 row(s) to " + dir + "/datadump.csv\n");
    }
}

// Another program holds the table's write lock, or the file is marked read-only (refused even for root): the
// commands that write say so, naming the file, after a bounded wait for a lock, and change nothing; one that only
// reads goes ahead.
TEST(InvexaTool, TableLockedByAnotherProgramOrReadOnlyIsNamedInTheMessage) {
    TTempDir root;
    const std::string dir = root.Path();
    ASSERT_EQ(Tool(dir, "init").Status, 0);
    ScanFileWriter::WriteFile(dir + "/alice.ivx", {{"M", "A", "1.0", 1, ""}});
    ASSERT_EQ(Tool(dir, "merge").Status, 0);
    SQLite::Database other(dir + "/Results.sqlite", SQLite::OPEN_READWRITE);
    other.exec("BEGIN IMMEDIATE");
    TResultsDatabase::SetBusyTimeoutForTests(100);
    const std::string locked =
        "The results table " + dir + "/Results.sqlite is locked by another program; try again when it has finished\n";
    for (const char *args : {"delete-app|M|A", "empty"}) {
        TRun run = Tool(dir, args);
        EXPECT_EQ(run.Status, 1) << args;
        EXPECT_EQ(run.Err, locked) << args;
    }
    EXPECT_EQ(Tool(dir, "export").Out, "Exported 1 row(s) to " + dir + "/datadump.csv\n");
    TResultsDatabase::SetBusyTimeoutForTests(TResultsDatabase::BusyTimeoutMs);
    other.exec("ROLLBACK");
    ASSERT_EQ(::chmod((dir + "/Results.sqlite").c_str(), 0444), 0);
    ScanFileWriter::WriteFile(dir + "/bob.ivx", {{"M", "B", "1.0", 1, ""}});
    for (const char *args : {"delete-app|M|A", "empty", "merge"}) {
        TRun run = Tool(dir, args);
        EXPECT_EQ(run.Status, 1) << args;
        EXPECT_EQ(run.Err, "The results table " + dir + "/Results.sqlite is read-only; nothing was written to it\n");
    }
    EXPECT_TRUE(fs::exists(dir + "/bob.ivx"));
    fs::create_directory(dir + "/blank"); // init puts no table into an empty file marked read-only
    std::ofstream(dir + "/blank/Results.sqlite").close();
    ASSERT_EQ(::chmod((dir + "/blank/Results.sqlite").c_str(), 0444), 0);
    EXPECT_EQ(Tool(dir + "/blank", "init").Status, 1);
    EXPECT_EQ(fs::file_size(dir + "/blank/Results.sqlite"), 0u);
    EXPECT_EQ(Tool(dir, "export").Out, "Exported 1 row(s) to " + dir + "/datadump.csv\n");
    ASSERT_EQ(::chmod((dir + "/Results.sqlite").c_str(), 0644), 0);
    EXPECT_EQ(Tool(dir, "delete-app|M|A").Out, "Deleted 1 row(s) of M\\A\n");
}

// The settings rules and the bytes a save writes are the core's (tests/config); here, each command's status and
// words, and the settings that result.
TEST(InvexaTool, SettingsEditsSayWhereTheySavedAndRefusalsChangeNothing) {
    const std::vector<std::pair<std::string, std::string>> refusals = {
        {"ignore|add|", "You must enter an Application Maker"},
        {"ignore|remove|zeta", "No entry 'zeta' in the ignore list"},
        {"exe|remove|Firefox=firefox.exe", "No entry 'Firefox=firefox.exe' in the EXE names list"},
        {"switch|Bogus|on", "Unknown switch 'Bogus' (expected UseIgnoreList, SearchForExe or StealthMode)"},
        {"distribution|Site\n[Ignore Apps]\nEvil=",
         "The distribution text cannot hold a line break or a NUL character"},
    };
    TTempDir root;
    for (const std::string &dir : Folders(root)) {
        SCOPED_TRACE(dir);
        const std::string ini = dir + "/INVEXA.INI";
        for (const char *args :
             {"ignore|add|Zeta", "ignore|add|alpha|Tool", "exe|add|Firefox|firefox.exe", "exe|add|Acrobat|acro.exe",
              "switch|useignorelist|off", "distribution|Head Office", "exe|remove|Firefox=firefox.exe"}) {
            TRun run = Tool(dir, args);
            EXPECT_EQ(run.Status, 0) << args;
            EXPECT_EQ(run.Out, "Saved " + ini + "\n");
        }
        const std::string last = ReadFile(ini);
        for (const auto &[args, message] : refusals) {
            TRun run = Tool(dir, args);
            EXPECT_EQ(run.Status, 1) << message;
            EXPECT_EQ(run.Err, message + "\n");
        }
        EXPECT_EQ(ReadFile(ini), last);
        TRun settings = Tool(dir, "settings");
        EXPECT_EQ(settings.Status, 0);
        EXPECT_EQ(settings.Out, "UseIgnoreList=0\nSearchForExe=1\nStealthMode=1\nDistribution=Head Office\n"
                                "[Ignore Apps]\nalpha\\Tool\nZeta\n[EXE Names]\nAcrobat=acro.exe\n");
        EXPECT_EQ(Tool(dir, "settings|--format|json").Out,
                  "{\"UseIgnoreList\": false, \"SearchForExe\": true, \"StealthMode\": true, \"Distribution\": "
                  "\"Head Office\",\n \"IgnoreApps\": [\"alpha\\\\Tool\", \"Zeta\"],\n \"ExeNames\": "
                  "[\"Acrobat=acro.exe\"]}\n");
    }
}

// Two administrators' tools adding to the ignore list at the same time: every entry reported saved is in the
// file at the end, and the sections neither touched are whole.
TEST(InvexaTool, TwoToolsSavingAtOnceLoseNoEdit) {
    TTempDir root(fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string());
    const std::string dir = root.Path(), kept = "[Switches]\r\nStealthMode=0\r\n[EXE Names]\r\nA=a.exe\r\n";
    root.Write("INVEXA.INI", kept);
    constexpr int Adds = 150;
    std::vector<pid_t> savers;
    for (const char *who : {"first", "second"}) {
        pid_t child = fork();
        if (child == 0) {
            std::ofstream reported(dir + "/" + who + ".txt");
            for (int i = 0; i < Adds; ++i) {
                const std::string entry = std::string(who) + " " + std::to_string(i);
                if (Tool(dir, "ignore|add|" + entry).Out.rfind("Saved ", 0) == 0)
                    reported << entry << "\n" << std::flush;
            }
            _exit(0);
        }
        savers.push_back(child);
    }
    for (pid_t saver : savers) {
        int status = 0;
        EXPECT_TRUE(WaitFor(saver, status, std::chrono::minutes(2)));
    }
    const std::vector<std::string> saved = TSettingsEditor(dir).Settings.IgnoreList;
    std::size_t reported = 0;
    for (const char *who : {"first", "second"}) {
        std::ifstream in(dir + "/" + who + ".txt");
        for (std::string entry; std::getline(in, entry); ++reported)
            EXPECT_NE(std::find(saved.begin(), saved.end(), entry), saved.end())
                << entry << " reported saved, but lost";
    }
    EXPECT_EQ(reported, 2u * Adds);
    EXPECT_EQ(ReadFile(dir + "/INVEXA.INI").rfind(kept, 0), 0u);
}

// Text arguments reach their command exactly as typed: brackets, commas, quotes, blanks, leading dashes after "--".
// Typed UTF-8 becomes the scanners' 8-bit text when it has one, else its bytes stay. -C may follow the command.
TEST(InvexaTool, TextArgumentsReachTheirCommandAsTyped) {
    TTempDir root;
    const std::string dir = root.Path();
    ASSERT_EQ(Tool(dir, "init").Status, 0);
    ScanFileWriter::WriteFile(dir + "/alice.ivx", {{"[Acme]", "x,y", "1", 1, ""},
                                                   {"Soci\xE9t\xE9", "[p,q]", "1", 1, ""},
                                                   {"-dash", " \"q\" ", "1", 1, ""},
                                                   {"\xE4\xB8\xAD", "raw", "1", 1, ""}});
    ASSERT_EQ(Tool(dir, "merge").Status, 0);
    for (const auto &[command, args, out] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"delete-app", "[Acme]|x,y", "Deleted 1 row(s) of [Acme]\\x,y\n"},
             {"delete-app", "Soci\xC3\xA9t\xC3\xA9|[p,q]", "Deleted 1 row(s) of Soci\xE9t\xE9\\[p,q]\n"},
             {"delete-app", "--|-dash| \"q\" ", "Deleted 1 row(s) of -dash\\ \"q\" \n"},
             {"delete-app", "\xE4\xB8\xAD|raw", "Deleted 1 row(s) of \xE4\xB8\xAD\\raw\n"},
             {"distribution", "[Site, A]", "Saved " + dir + "/INVEXA.INI\n"},
             {"ignore", "add|x,y|[p,q]", "Saved " + dir + "/INVEXA.INI\n"}}) {
        TRun run = Tool("", command + "|-C|" + dir + "|" + args);
        EXPECT_EQ(run.Status, 0) << run.Err;
        EXPECT_EQ(run.Out, out);
    }
    EXPECT_EQ(Tool(dir, "settings").Out, "UseIgnoreList=1\nSearchForExe=1\nStealthMode=1\nDistribution=[Site, A]\n"
                                         "[Ignore Apps]\nx,y\\[p,q]\n[EXE Names]\n");
}

TEST(InvexaTool, TheRealProgramMakesMergesAndExportsADemoFolder) {
    const char *tool = std::getenv("INVEXA_TOOL");
    ASSERT_NE(tool, nullptr) << "INVEXA_TOOL names the built invexa program";
    TTempDir dir;
    const std::string demo = dir.File("demo folder");
    auto sh = [&](const std::string &args) {
        int status = std::system(("'" + std::string(tool) + "' " + args + " >/dev/null 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    ASSERT_EQ(sh("demo '" + demo + "'"), 0);
    EXPECT_EQ(sh("-C '" + demo + "' merge"), 0);
    EXPECT_EQ(sh("-C '" + demo + "' export"), 0);
    EXPECT_TRUE(fs::is_empty(demo + "/ivx"));
    EXPECT_GT(fs::file_size(demo + "/datadump.csv"), 0u);
    EXPECT_EQ(sh("-C '" + demo + "' nonsense"), 2);
    EXPECT_EQ(sh("-C '" + dir.File("nowhere") + "' merge"), 1);
}

} // namespace

// The merge's line on a terminal: a bar, files done of total, rows, and once a rate can be told, the rate and the
// time left; it is wiped at the end, and never drawn where stderr is not a terminal.
TEST(InvexaTool, MergeShowsItsProgressOnATerminalOnly) {
    for (const auto &[done, total, rows, elapsed, line] : std::vector<std::tuple<int, int, int, double, std::string>>{
             {0, 0, 0, 0.0, "[....................] 0/0 files, 0 rows"},
             {1, 4, 200, 0.1, "[#####...............] 1/4 files, 200 rows"},
             {2500, 5000, 1234567, 2.0,
              "[##########..........] 2,500/5,000 files, 1,234,567 rows, 1,250 files/s, 0:02 left"},
             {60, 6000, 60, 1.0, "[....................] 60/6,000 files, 60 rows, 60 files/s, 1:39 left"}})
        EXPECT_EQ(TTerminalProgress::Line(done, total, rows, elapsed), line);
    TTempDir root;
    ASSERT_EQ(Tool(root.Path(), "init").Status, 0);
    for (bool terminal : {true, false}) {
        ScanFileWriter::WriteFile(root.File("a.ivx"), {{"M", "A", "1", 1, ""}});
        std::ostringstream out, err;
        EXPECT_EQ(RunInvexa({"-C", root.Path(), "merge"}, out, err, terminal), 0);
        EXPECT_EQ(err.str(), terminal ? "\rMerging data files... [....................] 0/1 files, 0 rows  a.ivx\x1b[K"
                                        "\r\x1b[K"
                                      : "");
    }
}
