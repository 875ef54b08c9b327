#include "config/ScanSettings.h"

#include "config/ProfileFile.h"
#include "config/SetupEntries.h"
#include "data/InvexaError.h"

#include <optional>

namespace invexa {

namespace {

constexpr std::string_view kIgnoreSection = "Ignore Apps";
constexpr std::string_view kSwitchesSection = "Switches";
// Read under one spelling and written under another; the names compare without case, so both are the same
// section, and after a save its header reads "EXE Names".
constexpr std::string_view kExeSectionRead = "EXE names";
constexpr std::string_view kExeSectionWritten = "EXE Names";

constexpr std::string_view kUseIgnoreList = "UseIgnoreList";
constexpr std::string_view kSearchForExe = "SearchForExe";
constexpr std::string_view kStealthMode = "StealthMode";
constexpr std::string_view kDistribution = "Distribution";

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
    std::optional<bool> zero = ParseIsZero(profile.ReadString(kSwitchesSection, key).value_or(""));
    return zero ? !*zero : true;
}

bool SameEntryName(std::string_view entry, std::string_view key) {
    std::string_view name = entry.substr(0, entry.find('='));
    return CompareText(name, key) == 0;
}

// Each key of the section becomes "key=value" in the list; a key listed again replaces the earlier entry in
// place, and an empty value removes the entry of that name.
void ReadExeNames(const TProfileFile &profile, std::vector<std::string> &list) {
    for (const std::string &key : profile.ReadKeyNames(kExeSectionRead)) {
        std::string value = profile.ReadString(kExeSectionRead, key).value_or("");
        auto existing = list.begin();
        while (existing != list.end() && !SameEntryName(*existing, key))
            ++existing;
        if (value.empty()) {
            if (existing != list.end())
                list.erase(existing);
        } else if (existing != list.end()) {
            *existing = key + "=" + value;
        } else {
            InsertSorted(list, key + "=" + value);
        }
    }
}

void WriteGroups(TProfileFile &profile, const TScanSettings &settings, const TChangeFlags &flags) {
    if (flags.IgnoreListChanged) {
        profile.EraseSection(kIgnoreSection);
        for (const std::string &entry : settings.IgnoreList)
            profile.WriteString(kIgnoreSection, entry, "");
    }
    if (flags.SwitchesChanged) {
        profile.EraseSection(kSwitchesSection);
        profile.WriteString(kSwitchesSection, kUseIgnoreList, settings.UseIgnoreList ? "1" : "0");
        profile.WriteString(kSwitchesSection, kSearchForExe, settings.SearchForExe ? "1" : "0");
        profile.WriteString(kSwitchesSection, kStealthMode, settings.StealthMode ? "1" : "0");
        profile.WriteString(kSwitchesSection, kDistribution, settings.Distribution);
    }
    if (flags.ExeNamesChanged) {
        profile.EraseSection(kExeSectionWritten);
        for (const std::string &entry : settings.ExeNames) {
            // An entry without "=" cannot come from the setup page; it is kept as a key with an empty value.
            std::size_t split = entry.find('=');
            std::string_view view(entry);
            profile.WriteString(kExeSectionWritten, view.substr(0, split),
                                split == std::string::npos ? std::string_view() : view.substr(split + 1));
        }
    }
}

} // namespace

std::string SettingsPath(const std::string &workDir) {
    return workDir + "/INVEXA.INI";
}

TScanSettings LoadSettings(const std::string &workDir) {
    TProfileFile profile = TProfileFile::Load(SettingsPath(workDir));
    TScanSettings settings;
    for (std::string &name : profile.ReadKeyNames(kIgnoreSection))
        InsertSorted(settings.IgnoreList, std::move(name));
    settings.UseIgnoreList = ReadBool(profile, kUseIgnoreList);
    settings.SearchForExe = ReadBool(profile, kSearchForExe);
    settings.StealthMode = ReadBool(profile, kStealthMode);
    settings.Distribution = profile.ReadString(kSwitchesSection, kDistribution).value_or("");
    ReadExeNames(profile, settings.ExeNames);
    return settings;
}

void SaveSettings(const std::string &workDir, const TScanSettings &settings, const TChangeFlags &flags) {
    if (!flags.Any())
        return;
    const std::string path = SettingsPath(workDir);
    // The file is read again now rather than reusing what was loaded at start: the scanners and other
    // administrators may have changed it since, and sections this save does not rewrite must keep those changes.
    // All groups are applied in memory and the file is replaced once, so a failure leaves it wholly as it was.
    TProfileFile profile;
    try {
        profile = TProfileFile::Load(path);
    } catch (const EInvexaError &) {
        throw EInvexaError("Unable to write to " + path);
    }
    WriteGroups(profile, settings, flags);
    profile.Save(path);
}

} // namespace invexa
