#include "cli/InvexaTool.h"

#include "base/Cp1252.h"
#include "cli/CatalogueCommands.h"
#include "cli/ToolCommands.h"
#include "config/SettingsEditor.h"
#include "data/ResultsDatabase.h"
#include "pgsql/StoreChoice.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>

namespace invexa {

std::string AsTyped(const std::string &arg) {
    return AsCp1252(arg).value_or(arg);
}

void AddTexts(CLI::App *command, std::vector<std::string> &words, std::initializer_list<const char *> names,
              std::size_t required, const std::string &description) {
    std::size_t n = 0;
    for (const char *name : names) {
        CLI::Option *option = command->add_option_function<std::string>(
            name, [&words](const std::string &word) { words.push_back(word); }, n == 0 ? description : "");
        if (n++ < required)
            option->required();
    }
}

namespace {

// The first word that stands where a command (or the word after "ignore" or "exe") is expected and is none of
// them; empty when there is none. Options, the values of -C, --store and --to and the words after "--" are
// skipped.
std::string UnknownCommand(CLI::App &app, const std::vector<std::string> &args) {
    CLI::App *level = &app;
    for (std::size_t i = 0; i < args.size() && args[i] != "--"; ++i) {
        const std::string &word = args[i];
        if (word == "-C" || word == "--store" || word == "--to")
            ++i;
        if (word.size() > 1 && word[0] == '-')
            continue;
        std::vector<CLI::App *> commands = level->get_subcommands([](CLI::App *) { return true; });
        if (commands.empty())
            return {}; // the command's own texts
        auto it = std::find_if(commands.begin(), commands.end(), [&](CLI::App *c) { return c->check_name(word); });
        if (it == commands.end())
            return word;
        level = *it;
    }
    return {};
}

// Loads the folder's settings, applies one change as the setup page does and saves as the window's close, all
// under the save lock.
int EditSettings(const std::string &dir, std::ostream &out, const std::function<void(TSettingsEditor &)> &change) {
    TSettingsEditor::Edit(dir, change);
    out << "Saved " << SettingsPath(dir) << "\n";
    return 0;
}

void AddSettingsCommands(CLI::App &app, const std::string &dir, std::ostream &out, std::function<int()> &action,
                         std::vector<std::string> &words) {
    auto *ignore = app.add_subcommand("ignore", "Edit the scanners' ignore list")->require_subcommand(1);
    auto *ignoreAdd = ignore->add_subcommand("add", "Add MAKER, or MAKER\\APP, to the ignore list");
    AddTexts(ignoreAdd, words, {"MAKER", "APP"}, 1, "maker and optional application name");
    ignoreAdd->callback([&] {
        action = [&] {
            return EditSettings(dir, out,
                                [&](TSettingsEditor &s) { s.AddIgnore(words[0], words.size() > 1 ? words[1] : ""); });
        };
    });
    auto *ignoreRemove = ignore->add_subcommand("remove", "Remove the first ignore-list entry equal to ENTRY");
    AddTexts(ignoreRemove, words, {"ENTRY"}, 1);
    ignoreRemove->callback([&] {
        action = [&] { return EditSettings(dir, out, [&](TSettingsEditor &s) { s.RemoveIgnore(words[0]); }); };
    });
    auto *exe = app.add_subcommand("exe", "Edit the application executable names")->require_subcommand(1);
    auto *exeAdd = exe->add_subcommand("add", "Add the entry APP=EXE");
    AddTexts(exeAdd, words, {"APP", "EXE"}, 2);
    exeAdd->callback([&] {
        action = [&] { return EditSettings(dir, out, [&](TSettingsEditor &s) { s.AddExe(words[0], words[1]); }); };
    });
    auto *exeRemove = exe->add_subcommand("remove", "Remove the first entry equal to ENTRY (APP=EXE)");
    AddTexts(exeRemove, words, {"ENTRY"}, 1);
    exeRemove->callback(
        [&] { action = [&] { return EditSettings(dir, out, [&](TSettingsEditor &s) { s.RemoveExe(words[0]); }); }; });
    auto *sw = app.add_subcommand("switch", "Turn a scanner switch on or off");
    AddTexts(sw, words, {"NAME", "STATE"}, 2, "UseIgnoreList, SearchForExe or StealthMode");
    sw->callback([&] {
        if (words[1] != "on" && words[1] != "off")
            throw CLI::ValidationError("switch", "the state must be on or off");
        action = [&] {
            return EditSettings(dir, out, [&](TSettingsEditor &s) { s.SetSwitch(words[0], words[1] == "on"); });
        };
    });
    auto *dist = app.add_subcommand("distribution", "Set the distribution text");
    AddTexts(dist, words, {"TEXT"}, 1);
    dist->callback([&] {
        action = [&] { return EditSettings(dir, out, [&](TSettingsEditor &s) { s.SetDistribution(words[0]); }); };
    });
}

const char Examples[] = R"(Examples:
  invexa -C /srv/scans init                 create the empty results table
  invexa -C /srv/scans merge                merge the waiting scan files
  invexa -C /srv/scans merge --format json  the same, with a summary for scripts
  invexa -C /srv/scans --store postgresql://db.example/invexa merge
                                            merge into a PostgreSQL database instead
  invexa -C /srv/scans copy-store --to postgresql://db.example/invexa
                                            move the folder's Results.sqlite there, once
  invexa export                             write datadump.csv in the current folder
  invexa settings --format json             print the scanners' settings
  invexa ignore add "Acme Corp" "Tool"      ignore one application of a maker
  invexa ignore remove "Acme Corp\Tool"     take it off the ignore list again
  invexa exe add Firefox firefox.exe        name an application's executable
  invexa exe remove Firefox=firefox.exe     remove that entry
  invexa switch StealthMode on              turn a scanner switch on or off
  invexa distribution "Head Office"         set the distribution text
  invexa delete-app "Acme Corp" "Tool"      delete every row of one application
  invexa empty                              empty the results table
  invexa demo ./try-me                      make a folder to try the program in
  invexa catalogue --filter acme            how many computers have each application
  invexa users "Acme Corp" "Tool"           which users have one application
  invexa computers --older-than 30          the computers whose last scan is older than 30 days
)";

// What the command line chose, filled in while it is parsed.
struct TChosen {
    std::function<int()> Action;
    std::vector<std::string> Words;
    std::string Format = "text";
    std::string DemoDir;
    std::string CopyTo;
};

// The commands on the results table, and the demo folder's.
void AddTableCommands(CLI::App &app, TToolCommands &cmd, TChosen &chosen) {
    app.add_subcommand("init", "Create the empty results table (Results.sqlite, or in the --store database)")
        ->callback([&] { chosen.Action = [&] { return cmd.Init(); }; });
    auto formatOption = [&](CLI::App *command) {
        command->add_option("--format", chosen.Format, "text (the default) or json")
            ->check(CLI::IsMember({"text", "json"}));
        return command;
    };
    formatOption(app.add_subcommand("merge", "Merge the waiting scan data files"))->callback([&] {
        chosen.Action = [&] { return cmd.Merge(); };
    });
    app.add_subcommand("export", "Write datadump.csv")->callback([&] { chosen.Action = [&] { return cmd.Export(); }; });
    formatOption(app.add_subcommand("settings", "Print the scanners' settings"))->callback([&] {
        chosen.Action = [&] { return cmd.Settings(); };
    });
    app.add_subcommand("empty", "Empty the results table")->callback([&] {
        chosen.Action = [&] { return cmd.Empty(); };
    });
    auto *delApp = app.add_subcommand("delete-app", "Delete every row of one application");
    AddTexts(delApp, chosen.Words, {"MAKER", "APP"}, 2);
    delApp->callback([&] { chosen.Action = [&] { return cmd.DeleteApp(chosen.Words[0], chosen.Words[1]); }; });
    auto *demo = app.add_subcommand("demo", "Make a working folder to try the program in");
    demo->add_option("DIR", chosen.DemoDir)->required();
    demo->callback([&] { chosen.Action = [&] { return cmd.Demo(chosen.DemoDir); }; });
    auto *copy = app.add_subcommand("copy-store", "Copy Results.sqlite into empty tables of a PostgreSQL database");
    copy->add_option("--to", chosen.CopyTo, "The database's postgresql:// URI")->required();
    copy->callback([&] { chosen.Action = [&] { return cmd.CopyStore(chosen.CopyTo); }; });
}

// Parses args into app: the exit status when parsing ends the run (help, the version, a usage error).
std::optional<int> Parse(CLI::App &app, const std::vector<std::string> &args, std::ostream &out, std::ostream &err) {
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError &e) {
        if (std::string word = UnknownCommand(app, args); !word.empty() && e.get_exit_code() != 0) {
            err << "Unknown command '" << word << "'\nRun with --help for the commands.\n";
            return 2;
        }
        int code = app.exit(e, out, err);
        return code == 0 ? 0 : 2;
    }
    return std::nullopt;
}

// Runs the chosen action in the working folder dir.
int RunChosen(TToolCommands &cmd, const std::string &dir, const std::function<int()> &action) {
    std::error_code ec;
    cmd.Dir = std::filesystem::absolute(dir, ec).lexically_normal().string();
    if (cmd.Dir.size() > 1 && cmd.Dir.back() == '/')
        cmd.Dir.pop_back();
    if (!std::filesystem::is_directory(cmd.Dir, ec)) {
        cmd.Err << "The working folder " << cmd.Dir << " does not exist or is not a folder\n";
        return 1;
    }
    try {
        return action ? action() : 2;
    } catch (const std::exception &e) {
        cmd.Err << TResultsDatabase(cmd.Dir).Describe(e) << "\n";
        return 1;
    }
}

} // namespace

int RunInvexa(const std::vector<std::string> &args, std::ostream &out, std::ostream &err, bool terminal) {
    CLI::App app{"invexa: the Invexa administrator's core, headless", "invexa"};
    app.set_version_flag("--version", std::string("invexa ") + INVEXA_VERSION);
    app.require_subcommand(1);
    // -C may also follow the command: a command passes the options it does not know to the tool.
    app.fallthrough();
    std::string dir = ".";
    app.add_option("-C", dir, "Working folder (default: the current directory); before or after the command");
    std::optional<std::string> store;
    app.add_option("--store", store,
                   "The results store: a postgresql:// URI (default: $INVEXA_STORE, else Results.sqlite in the "
                   "working folder)");
    bool quiet = false;
    app.add_flag("--quiet,-q", quiet, "Print nothing but errors");
    app.footer(Examples);
    // What the commands print goes through toolOut, which --quiet silences.
    std::ostream toolOut(out.rdbuf());
    TToolCommands cmd{"", "", toolOut, err, terminal};
    TChosen chosen;
    AddTableCommands(app, cmd, chosen);
    AddSettingsCommands(app, cmd.Dir, toolOut, chosen.Action, chosen.Words);
    TCatalogueCommands catalogue(cmd);
    catalogue.Add(app, chosen.Action);
    if (std::optional<int> status = Parse(app, args, out, err))
        return *status;
    for (std::string &word : chosen.Words)
        word = AsTyped(word);
    cmd.Json = chosen.Format == "json";
    cmd.Store = TStoreChoice::Uri(store);
    if (quiet) {
        toolOut.rdbuf(nullptr); // output to a stream without a buffer is dropped
        cmd.Terminal = false;
        cmd.Quiet = true;
    }
    return RunChosen(cmd, dir, chosen.Action);
}

} // namespace invexa
