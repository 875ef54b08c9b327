#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace invexa {

// What the scanners read from INVEXA.INI. Texts are 8-bit bytes as stored. Lists are kept in sorted order
// (EntryRules).
struct TScanSettings {
    std::vector<std::string> IgnoreList;
    bool UseIgnoreList = true;
    bool SearchForExe = true;
    bool StealthMode = true;
    std::string Distribution;
    std::vector<std::string> ExeNames; // "app=exe"
    bool operator==(const TScanSettings &) const = default;
};

struct TChangeFlags {
    bool IgnoreListChanged = false;
    bool SwitchesChanged = false;
    bool ExeNamesChanged = false;
    bool Any() const { return IgnoreListChanged || SwitchesChanged || ExeNamesChanged; }
};

// WorkDir + "/INVEXA.INI".
std::string SettingsPath(const std::string &workDir);
// Missing file, section or key: empty lists, switches on, empty distribution.
TScanSettings LoadSettings(const std::string &workDir);
// Rewrites the groups whose flag is set into the file as it is on disk now, under the save lock; nothing at all
// when no flag is set. Refuses (ERefusal) a text that would not stay one entry of its section, changing nothing.
// Throws EInvexaError "Unable to write to <path>[: reason]", leaving the file wholly old.
void SaveSettings(const std::string &workDir, const TScanSettings &settings, const TChangeFlags &flags);
// Loads, lets change edit the settings and set the flags, and saves, all under the save lock, so that no other
// save of this program comes between the load and the save and the edit is never lost to it.
void EditSettings(const std::string &workDir, const std::function<void(TScanSettings &, TChangeFlags &)> &change);
// When a save that rewrote the file in place was cut short: the message that says so and names the copy kept.
std::optional<std::string> CutShortSave(const std::string &workDir);

} // namespace invexa
