#include "cli/InvexaTool.h"

#include "cli/CatalogueCommands.h"
#include "cli/ToolCommands.h"
#include "config/ScanSetup.h"
#include "data/ResultsDatabase.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace invexa {
namespace {

// Loads the folder's settings, applies one change as the setup page does and saves as the window's close, all
// under the save lock.
int EditSettings(const std::string &dir, std::ostream &out, const std::function<void(TScanSetup &)> &change) {
    TScanSetup::Edit(dir, change);
    out << "Saved " << SettingsPath(dir) << "\n";
    return 0;
}

void AddSettingsCommands(CLI::App &app, const std::string &dir, std::ostream &out, std::function<int()> &action,
                         std::vector<std::string> &words) {
    auto *ignore = app.add_subcommand("ignore", "Edit the scanners' ignore list")->require_subcommand(1);
    auto *ignoreAdd = ignore->add_subcommand("add", "Add MAKER, or MAKER\\APP, to the ignore list");
    ignoreAdd->add_option("MAKER APP", words, "maker and optional application name")->expected(1, 2)->required();
    ignoreAdd->callback([&] {
        action = [&] {
            return EditSettings(dir, out,
                                [&](TScanSetup &s) { s.AddIgnore(words[0], words.size() > 1 ? words[1] : ""); });
        };
    });
    auto *ignoreRemove = ignore->add_subcommand("remove", "Remove the first ignore-list entry equal to ENTRY");
    ignoreRemove->add_option("ENTRY", words)->expected(1)->required();
    ignoreRemove->callback(
        [&] { action = [&] { return EditSettings(dir, out, [&](TScanSetup &s) { s.RemoveIgnore(words[0]); }); }; });
    auto *exe = app.add_subcommand("exe", "Edit the application executable names")->require_subcommand(1);
    auto *exeAdd = exe->add_subcommand("add", "Add the entry APP=EXE");
    exeAdd->add_option("APP EXE", words)->expected(2)->required();
    exeAdd->callback(
        [&] { action = [&] { return EditSettings(dir, out, [&](TScanSetup &s) { s.AddExe(words[0], words[1]); }); }; });
    auto *exeRemove = exe->add_subcommand("remove", "Remove the first entry equal to ENTRY (APP=EXE)");
    exeRemove->add_option("ENTRY", words)->expected(1)->required();
    exeRemove->callback(
        [&] { action = [&] { return EditSettings(dir, out, [&](TScanSetup &s) { s.RemoveExe(words[0]); }); }; });
    auto *sw = app.add_subcommand("switch", "Turn a scanner switch on or off");
    sw->add_option("NAME", words, "UseIgnoreList, SearchForExe or StealthMode")->expected(2)->required();
    sw->callback([&] {
        if (words[1] != "on" && words[1] != "off")
            throw CLI::ValidationError("switch", "the state must be on or off");
        action = [&] {
            return EditSettings(dir, out, [&](TScanSetup &s) { s.SetSwitch(words[0], words[1] == "on"); });
        };
    });
    auto *dist = app.add_subcommand("distribution", "Set the distribution text");
    dist->add_option("TEXT", words)->expected(1)->required();
    dist->callback(
        [&] { action = [&] { return EditSettings(dir, out, [&](TScanSetup &s) { s.SetDistribution(words[0]); }); }; });
}

} // namespace

int RunInvexa(const std::vector<std::string> &args, std::ostream &out, std::ostream &err, bool terminal) {
    CLI::App app{"invexa: the Invexa administrator's core, headless", "invexa"};
    app.set_version_flag("--version", std::string("invexa ") + INVEXA_VERSION);
    app.require_subcommand(1);
    std::string dir = ".";
    app.add_option("-C", dir, "Working folder (default: the current directory)");
    TToolCommands cmd{"", out, err, terminal};
    std::function<int()> action;
    std::vector<std::string> words;
    std::string demoDir;

    app.add_subcommand("init", "Create Results.sqlite with the empty table")->callback([&] {
        action = [&] { return cmd.Init(); };
    });
    app.add_subcommand("merge", "Merge the waiting scan data files")->callback([&] {
        action = [&] { return cmd.Merge(); };
    });
    app.add_subcommand("export", "Write datadump.csv")->callback([&] { action = [&] { return cmd.Export(); }; });
    app.add_subcommand("settings", "Print the scanners' settings")->callback([&] {
        action = [&] { return cmd.Settings(); };
    });
    app.add_subcommand("empty", "Empty the results table")->callback([&] { action = [&] { return cmd.Empty(); }; });
    auto *delApp = app.add_subcommand("delete-app", "Delete every row of one application");
    delApp->add_option("MAKER APP", words)->expected(2)->required();
    delApp->callback([&] { action = [&] { return cmd.DeleteApp(words[0], words[1]); }; });
    auto *demo = app.add_subcommand("demo", "Make a working folder to try the program in");
    demo->add_option("DIR", demoDir)->required();
    demo->callback([&] { action = [&] { return cmd.Demo(demoDir); }; });
    AddSettingsCommands(app, cmd.dir, out, action, words);
    TCatalogueCommands catalogue(cmd);
    catalogue.Add(app, action);

    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError &e) {
        int code = app.exit(e, out, err);
        return code == 0 ? 0 : 2;
    }
    std::error_code ec;
    cmd.dir = std::filesystem::absolute(dir, ec).lexically_normal().string();
    if (cmd.dir.size() > 1 && cmd.dir.back() == '/')
        cmd.dir.pop_back();
    try {
        return action ? action() : 2;
    } catch (const std::exception &e) {
        err << TResultsDatabase(cmd.dir).Describe(e) << "\n";
        return 1;
    }
}

} // namespace invexa
