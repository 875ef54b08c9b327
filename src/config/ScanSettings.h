#pragma once
#include <string>
#include <vector>

namespace invexa {

// What the scanners read from INVEXA.INI. Texts are 8-bit bytes as stored. Lists are kept in sorted order
// (SetupEntries).
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
// Rewrites the groups whose flag is set into the file as it is on disk now; nothing at all when no flag is
// set. Throws EInvexaError "Unable to write to <path>", leaving the file wholly old.
void SaveSettings(const std::string &workDir, const TScanSettings &settings, const TChangeFlags &flags);

} // namespace invexa
