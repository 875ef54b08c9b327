#include "config/EntryRules.h"

#include "base/Cp1252.h"
#include "base/InvexaError.h"

#include <algorithm>

namespace invexa {

void SortEntries(std::vector<std::string> &list) {
    std::stable_sort(list.begin(), list.end(),
                     [](const std::string &a, const std::string &b) { return CompareFolded(a, b) < 0; });
}

std::size_t SortedInsertIndex(const std::vector<std::string> &list, std::string_view entry) {
    // After every entry that compares equal, so entries equal but for case keep the order they were added in.
    auto place = std::upper_bound(list.begin(), list.end(), entry, [](std::string_view value, const std::string &item) {
        return CompareFolded(value, item) < 0;
    });
    return static_cast<std::size_t>(place - list.begin());
}

void InsertSorted(std::vector<std::string> &list, std::string entry) {
    std::size_t index = SortedInsertIndex(list, entry);
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(index), std::move(entry));
}

namespace {

constexpr const char *NoMaker = "You must enter an Application Maker";
constexpr const char *NoAppName = "You must enter an Application name";

// The blanks the scanners trim from a key name.
std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\v'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\v'))
        text.remove_suffix(1);
    return text;
}

void CheckText(std::string_view text, const std::string &what) {
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        throw ERefusal("The " + what + " cannot hold a line break or a NUL character");
}

void CheckKey(std::string_view key, const std::string &what, const char *blank) {
    CheckText(key, what);
    std::string_view name = Trim(key);
    if (name.empty())
        throw ERefusal(blank);
    if (name.front() == '[' || name.front() == ';')
        throw ERefusal("The " + what + " cannot start with \"[\" or \";\"");
    if (name.find('=') != std::string_view::npos)
        throw ERefusal("The " + what + " cannot hold \"=\"");
}

} // namespace

void CheckIgnoreEntry(std::string_view entry) {
    CheckKey(entry, "ignore-list entry", NoMaker);
}

void CheckExeEntry(std::string_view appName, std::string_view exeName) {
    CheckKey(appName, "application name", NoAppName);
    CheckText(exeName, "EXE file name");
}

void CheckDistribution(std::string_view text) {
    CheckText(text, "distribution text");
}

std::string MakeIgnoreEntry(std::string_view maker, std::string_view appName) {
    // Blanks around the maker are taken as typed, but a maker of blanks alone names nobody.
    if (Trim(maker).empty())
        throw ERefusal(NoMaker);
    std::string entry(maker);
    if (!appName.empty())
        entry.append("\\").append(appName);
    CheckIgnoreEntry(entry);
    return entry;
}

std::string MakeGridIgnoreEntry(std::string_view maker, std::string_view appName) {
    // From the grid the separator is always there, so an empty application name gives an entry ending in "\".
    std::string entry = std::string(maker) + "\\" + std::string(appName);
    CheckIgnoreEntry(entry);
    return entry;
}

std::string MakeExeEntry(std::string_view appName, std::string_view exeName) {
    if (appName.empty())
        throw ERefusal(NoAppName);
    if (exeName.empty())
        throw ERefusal("You must enter an EXE file name");
    CheckExeEntry(appName, exeName);
    return std::string(appName) + "=" + std::string(exeName);
}

} // namespace invexa
