#include "config/SetupEntries.h"

#include "data/Cp1252.h"
#include "data/InvexaError.h"

#include <algorithm>

namespace invexa {

int CompareText(std::string_view a, std::string_view b) {
    std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        int left = Cp1252ToLower(static_cast<unsigned char>(a[i]));
        int right = Cp1252ToLower(static_cast<unsigned char>(b[i]));
        if (left != right)
            return left < right ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::size_t SortedInsertIndex(const std::vector<std::string> &list, std::string_view entry) {
    // After every entry that compares equal, so entries equal but for case keep the order they were added in.
    auto place = std::upper_bound(list.begin(), list.end(), entry, [](std::string_view value, const std::string &item) {
        return CompareText(value, item) < 0;
    });
    return static_cast<std::size_t>(place - list.begin());
}

void InsertSorted(std::vector<std::string> &list, std::string entry) {
    std::size_t index = SortedInsertIndex(list, entry);
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(index), std::move(entry));
}

std::string MakeIgnoreEntry(std::string_view maker, std::string_view appName) {
    // Only an empty maker is refused; blanks are taken as typed.
    if (maker.empty())
        throw ERefusal("You must enter an Application Maker");
    std::string entry(maker);
    if (!appName.empty())
        entry.append("\\").append(appName);
    return entry;
}

std::string MakeGridIgnoreEntry(std::string_view maker, std::string_view appName) {
    // From the grid the separator is always there, so an empty application name gives an entry ending in "\".
    return std::string(maker) + "\\" + std::string(appName);
}

std::string MakeExeEntry(std::string_view appName, std::string_view exeName) {
    if (appName.empty())
        throw ERefusal("You must enter an Application name");
    if (exeName.empty())
        throw ERefusal("You must enter an EXE file name");
    return std::string(appName) + "=" + std::string(exeName);
}

} // namespace invexa
