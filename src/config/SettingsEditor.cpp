#include "config/SettingsEditor.h"

#include "base/Cp1252.h"
#include "base/InvexaError.h"
#include "config/EntryRules.h"

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
    return CompareFolded(a, b) == 0;
}

} // namespace

TSettingsEditor::TSettingsEditor(std::string workDir) : Settings(LoadSettings(workDir)), workDir_(std::move(workDir)) {}

TSettingsEditor::TSettingsEditor(std::string workDir, TScanSettings settings)
    : Settings(std::move(settings)), workDir_(std::move(workDir)) {}

void TSettingsEditor::Edit(const std::string &workDir, const std::function<void(TSettingsEditor &)> &change) {
    EditSettings(workDir, [&](TScanSettings &settings, TChangeFlags &flags) {
        TSettingsEditor setup(workDir, std::move(settings));
        change(setup);
        settings = std::move(setup.Settings);
        flags = setup.Flags;
    });
}

void TSettingsEditor::AddIgnore(std::string_view maker, std::string_view appName) {
    // Built first: a refused entry leaves the list and the flag as they were.
    InsertSorted(Settings.IgnoreList, MakeIgnoreEntry(maker, appName));
    Flags.IgnoreListChanged = true;
}

void TSettingsEditor::RemoveIgnore(std::string_view entry) {
    RemoveEntry(Settings.IgnoreList, entry, "ignore list");
    Flags.IgnoreListChanged = true;
}

void TSettingsEditor::AddExe(std::string_view appName, std::string_view exeName) {
    InsertSorted(Settings.ExeNames, MakeExeEntry(appName, exeName));
    Flags.ExeNamesChanged = true;
}

void TSettingsEditor::RemoveExe(std::string_view entry) {
    RemoveEntry(Settings.ExeNames, entry, "EXE names list");
    Flags.ExeNamesChanged = true;
}

void TSettingsEditor::SetSwitch(std::string_view name, bool on) {
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

void TSettingsEditor::SetDistribution(std::string_view text) {
    CheckDistribution(text);
    Settings.Distribution = std::string(text);
    Flags.SwitchesChanged = true;
}

void TSettingsEditor::Save() const {
    SaveSettings(workDir_, Settings, Flags);
}

} // namespace invexa
