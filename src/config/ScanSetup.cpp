#include "config/ScanSetup.h"

#include "base/InvexaError.h"
#include "config/SetupEntries.h"

#include <algorithm>

namespace invexa {

namespace {

void RemoveEntry(std::vector<std::string> &list, std::string_view entry, const char *listName) {
    auto found = std::find(list.begin(), list.end(), entry);
    if (found == list.end())
        throw EInvexaError("No entry '" + std::string(entry) + "' in the " + listName);
    list.erase(found);
}

bool SameText(std::string_view a, std::string_view b) {
    return CompareText(a, b) == 0;
}

} // namespace

TScanSetup::TScanSetup(std::string workDir) : Settings(LoadSettings(workDir)), workDir_(std::move(workDir)) {}

TScanSetup::TScanSetup(std::string workDir, TScanSettings settings)
    : Settings(std::move(settings)), workDir_(std::move(workDir)) {}

void TScanSetup::Edit(const std::string &workDir, const std::function<void(TScanSetup &)> &change) {
    EditSettings(workDir, [&](TScanSettings &settings, TChangeFlags &flags) {
        TScanSetup setup(workDir, std::move(settings));
        change(setup);
        settings = std::move(setup.Settings);
        flags = setup.Flags;
    });
}

void TScanSetup::AddIgnore(std::string_view maker, std::string_view appName) {
    // Built first: a refused entry leaves the list and the flag as they were.
    InsertSorted(Settings.IgnoreList, MakeIgnoreEntry(maker, appName));
    Flags.IgnoreListChanged = true;
}

void TScanSetup::AddIgnoreFromGrid(std::string_view maker, std::string_view appName) {
    InsertSorted(Settings.IgnoreList, MakeGridIgnoreEntry(maker, appName));
    Flags.IgnoreListChanged = true;
}

void TScanSetup::RemoveIgnore(std::string_view entry) {
    RemoveEntry(Settings.IgnoreList, entry, "ignore list");
    Flags.IgnoreListChanged = true;
}

void TScanSetup::AddExe(std::string_view appName, std::string_view exeName) {
    InsertSorted(Settings.ExeNames, MakeExeEntry(appName, exeName));
    Flags.ExeNamesChanged = true;
}

void TScanSetup::RemoveExe(std::string_view entry) {
    RemoveEntry(Settings.ExeNames, entry, "EXE names list");
    Flags.ExeNamesChanged = true;
}

void TScanSetup::SetSwitch(std::string_view name, bool on) {
    if (SameText(name, "UseIgnoreList"))
        Settings.UseIgnoreList = on;
    else if (SameText(name, "SearchForExe"))
        Settings.SearchForExe = on;
    else if (SameText(name, "StealthMode"))
        Settings.StealthMode = on;
    else
        throw EInvexaError("Unknown switch '" + std::string(name) +
                           "' (expected UseIgnoreList, SearchForExe or StealthMode)");
    // An explicit set counts as an edit even when the value stays the same, as ticking a box and unticking it
    // again does on the page: the whole section is rewritten at the save.
    Flags.SwitchesChanged = true;
}

void TScanSetup::SetDistribution(std::string_view text) {
    CheckDistribution(text);
    Settings.Distribution = std::string(text);
    Flags.SwitchesChanged = true;
}

void TScanSetup::Save() const {
    SaveSettings(workDir_, Settings, Flags);
}

} // namespace invexa
