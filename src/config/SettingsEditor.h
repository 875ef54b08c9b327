#pragma once
#include "config/SettingsLoadSave.h"

#include <functional>
#include <string>
#include <string_view>

namespace invexa {

// The settings of one working folder with their change flags, edited as the setup page edits them and saved
// as the window's close saves them. Used by the invexa tool; the window holds the same values in its controls
// and calls the same entry rules.
class TSettingsEditor {
public:
    explicit TSettingsEditor(std::string workDir); // loads; all flags clear
    // Loads, applies change and saves under the save lock (EditSettings): what the tool does for each edit, so
    // that an edit it reports as saved is in the file whoever else saves at the same time.
    static void Edit(const std::string &workDir, const std::function<void(TSettingsEditor &)> &change);
    TScanSettings Settings;
    TChangeFlags Flags;

    void AddIgnore(std::string_view maker, std::string_view appName); // setup page's rule, may refuse
    void RemoveIgnore(std::string_view entry);                        // first equal entry; none: EInvexaError
    void AddExe(std::string_view appName, std::string_view exeName);
    void RemoveExe(std::string_view entry);
    // name: UseIgnoreList, SearchForExe or StealthMode (case-insensitive); else EInvexaError.
    void SetSwitch(std::string_view name, bool on);
    void SetDistribution(std::string_view text); // refuses what CheckDistribution refuses
    void Save() const;
    const std::string &WorkDir() const { return workDir_; }

private:
    TSettingsEditor(std::string workDir, TScanSettings settings);
    std::string workDir_;
};

} // namespace invexa
