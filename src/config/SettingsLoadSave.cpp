#include "config/SettingsLoadSave.h"

#include "base/Cp1252.h"
#include "base/InvexaError.h"
#include "config/EntryRules.h"
#include "config/ProfileFile.h"
#include "config/SettingsFile.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

namespace invexa {

namespace {

constexpr std::string_view IgnoreSection = "Ignore Apps";
constexpr std::string_view SwitchesSection = "Switches";
// Read under one spelling and written under another; the names compare without case, so both are the same
// section, and after a save its header reads "EXE Names".
constexpr std::string_view ExeSectionRead = "EXE names";
constexpr std::string_view ExeSectionWritten = "EXE Names";

constexpr std::string_view UseIgnoreListKey = "UseIgnoreList";
constexpr std::string_view SearchForExeKey = "SearchForExe";
constexpr std::string_view StealthModeKey = "StealthMode";
constexpr std::string_view DistributionKey = "Distribution";

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Whether text is a whole number in the form the scanners accept (leading spaces, a sign, "$" or "0x" for
// hexadecimal), and if so whether it is zero. Only zero versus non-zero matters, so a number too large for an
// integer still counts as non-zero instead of being refused.
std::optional<bool> ParseIsZero(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;
    bool zero = true;
    for (; i < text.size(); ++i) {
        int digit = HexDigit(text[i]);
        if (digit < 0 || digit >= base)
            return std::nullopt;
        zero = zero && digit == 0;
    }
    return zero;
}

bool ReadBool(const TProfileFile &profile, std::string_view key) {
    std::optional<bool> zero = ParseIsZero(profile.ReadString(SwitchesSection, key).value_or(""));
    return zero ? !*zero : true;
}

// Each key of the section becomes "key=value" in the list; a key listed again replaces the earlier entry in
// place, and an empty value removes the entry of that name. Every line of one name reads the value of its first
// line, so an empty value never meets an entry of its name, and a name listed again only changes the spelling
// of its entry. Built that way and sorted once, a large section loads in linear time; entry by entry it took
// minutes.
std::vector<std::string> ReadExeNames(const TProfileFile &profile) {
    std::vector<std::string> list;
    std::unordered_map<std::string, std::size_t> byName; // folded name -> its entry
    for (auto &[key, value] : profile.ReadPairs(ExeSectionRead)) {
        if (value.empty())
            continue;
        auto [found, added] = byName.try_emplace(Cp1252Folded(key), list.size());
        if (added)
            list.push_back(key + "=" + value);
        else
            list[found->second] = key + "=" + value;
    }
    SortEntries(list);
    return list;
}

// Every text of the groups a save writes, checked before anything is written: the window takes the distribution
// text keystroke by keystroke and checks it only here.
void CheckGroups(const TScanSettings &settings, const TChangeFlags &flags) {
    for (std::size_t i = 0; flags.IgnoreListChanged && i < settings.IgnoreList.size(); ++i)
        CheckIgnoreEntry(settings.IgnoreList[i]);
    if (flags.SwitchesChanged)
        CheckDistribution(settings.Distribution);
    for (std::size_t i = 0; flags.ExeNamesChanged && i < settings.ExeNames.size(); ++i) {
        std::string_view entry = settings.ExeNames[i];
        std::size_t split = entry.find('=');
        CheckExeEntry(entry.substr(0, split), split == std::string_view::npos ? "" : entry.substr(split + 1));
    }
}

TScanSettings ReadSettings(const TProfileFile &profile) {
    TScanSettings settings;
    settings.IgnoreList = profile.ReadKeyNames(IgnoreSection);
    SortEntries(settings.IgnoreList);
    settings.UseIgnoreList = ReadBool(profile, UseIgnoreListKey);
    settings.SearchForExe = ReadBool(profile, SearchForExeKey);
    settings.StealthMode = ReadBool(profile, StealthModeKey);
    settings.Distribution = profile.ReadString(SwitchesSection, DistributionKey).value_or("");
    settings.ExeNames = ReadExeNames(profile);
    return settings;
}

void WriteGroups(TProfileFile &profile, const TScanSettings &settings, const TChangeFlags &flags) {
    using TPairs = std::vector<std::pair<std::string, std::string>>;
    if (flags.IgnoreListChanged) {
        TPairs pairs;
        for (const std::string &entry : settings.IgnoreList)
            pairs.emplace_back(entry, "");
        profile.RewriteSection(IgnoreSection, pairs);
    }
    if (flags.SwitchesChanged)
        profile.RewriteSection(SwitchesSection, {{std::string(UseIgnoreListKey), settings.UseIgnoreList ? "1" : "0"},
                                                 {std::string(SearchForExeKey), settings.SearchForExe ? "1" : "0"},
                                                 {std::string(StealthModeKey), settings.StealthMode ? "1" : "0"},
                                                 {std::string(DistributionKey), settings.Distribution}});
    if (flags.ExeNamesChanged) {
        TPairs pairs;
        for (const std::string &entry : settings.ExeNames) {
            // An entry without "=" cannot come from the setup page; it is kept as a key with an empty value.
            std::size_t split = entry.find('=');
            pairs.emplace_back(entry.substr(0, split), split == std::string::npos ? "" : entry.substr(split + 1));
        }
        profile.RewriteSection(ExeSectionWritten, pairs);
    }
}

} // namespace

std::string SettingsPath(const std::string &workDir) {
    return workDir + "/INVEXA.INI";
}

TScanSettings LoadSettings(const std::string &workDir) {
    const std::string path = SettingsPath(workDir);
    std::optional<std::string> bytes = TSettingsFile(path).Read();
    try {
        return ReadSettings(TProfileFile::Parse(bytes.value_or("")));
    } catch (const EInvexaError &error) {
        throw EInvexaError(path + ": " + error.what());
    }
}

std::optional<std::string> CutShortSave(const std::string &workDir) {
    return TSettingsFile(SettingsPath(workDir)).CutShortNotice();
}

void SaveSettings(const std::string &workDir, const TScanSettings &settings, const TChangeFlags &flags) {
    if (!flags.Any())
        return;
    CheckGroups(settings, flags);
    // The file is read again, under the save lock, rather than reusing what was loaded at start: the scanners and
    // other administrators may have changed it since, and sections this save does not rewrite must keep those
    // changes. All groups are applied in memory and the file is replaced once, so a failure leaves it wholly as
    // it was.
    TSettingsFile(SettingsPath(workDir)).Update([&](TProfileFile &profile) { WriteGroups(profile, settings, flags); });
}

void EditSettings(const std::string &workDir, const std::function<void(TScanSettings &, TChangeFlags &)> &change) {
    TSettingsFile(SettingsPath(workDir)).Update([&](TProfileFile &profile) {
        TScanSettings settings = ReadSettings(profile);
        TChangeFlags flags;
        change(settings, flags);
        CheckGroups(settings, flags);
        WriteGroups(profile, settings, flags);
    });
}

} // namespace invexa
