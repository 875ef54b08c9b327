#pragma once
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace invexa {

class TResultsDatabase;

// One line of the software catalogue: how many distinct user names have at least one row with exactly these
// texts. Version is empty in the catalogue by application. Texts in UTF-8, as the table holds them.
struct TCatalogueLine {
    std::string AppMaker;
    std::string AppName;
    std::string Version;
    std::int64_t Installs = 0;
};

// One user name of the table with its row count and, when recorded, its scan and merge times.
struct TComputerLine {
    std::string UserName;
    std::int64_t Rows = 0;
    std::optional<std::int64_t> LastScan;
    std::optional<std::int64_t> Merged;
};

// The catalogue's counts and look-ups. None of them holds the table for long: with a rollback journal a
// reader keeps every writer waiting, so each reads in short transactions of its own. The counting reads
// whole users at a time in user-name order (through the UserName index), a few thousand rows to a
// transaction, so each user is counted from one consistent state of its rows even while a merge replaces
// users meanwhile; it splits the user names into ranges that the machine's cores count side by side.
class TCatalogue {
public:
    struct TCounts {
        std::vector<TCatalogueLine> Apps;     // by maker and application
        std::vector<TCatalogueLine> Versions; // by maker, application and version
    };
    // Both splits of one pass, each in catalogue order. Stops with an empty result when cancel turns true.
    static TCounts Count(TResultsDatabase &db, const std::atomic<bool> *cancel = nullptr);
    // Puts lines in catalogue order.
    static void Sort(std::vector<TCatalogueLine> &lines);
    // The lines whose maker or application name contains text, ignoring letter case; order kept.
    static std::vector<TCatalogueLine> Filter(const std::vector<TCatalogueLine> &lines, std::string_view text);
    // Catalogue order: installs, most first; then maker, application, version, each folded to one letter case
    // (Windows-1252) and compared by character code; by bytes only when all three are equal ignoring case.
    static bool Before(const TCatalogueLine &a, const TCatalogueLine &b);
    // A string whose byte order is the catalogue's order of texts: folded first, by bytes on a tie.
    static std::string OrderKey(std::string_view text);
    // Sorts items by OrderKey(name(item)), keeping items of one key in their order.
    template <class T, class Name> static void SortByName(std::vector<T> &items, Name name);

    // The user names with a row of exactly these texts (letter case included), sorted as the catalogue sorts.
    static std::vector<std::string> Users(TResultsDatabase &db, const std::string &maker, const std::string &appName,
                                          const std::optional<std::string> &version);
    // Every user name of the table, sorted, with its rows and its recorded times.
    static std::vector<TComputerLine> Computers(TResultsDatabase &db);

    // A counting transaction ends at the first user boundary after this many rows or this many milliseconds.
    static constexpr int ChunkRows = 10000;
    static constexpr int ChunkMs = 5;
    // The counting threads, one a core up to this many, share the user names split into this many ranges each.
    static constexpr unsigned MaxThreads = 4;
    static constexpr std::size_t RangesPerThread = 4;
    // The users look-up scans the table in rowid ranges this wide, one transaction each.
    static constexpr std::int64_t UsersRange = 100000;
};

template <class T, class Name> void TCatalogue::SortByName(std::vector<T> &items, Name name) {
    std::vector<std::pair<std::string, std::size_t>> keys(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        keys[i] = {OrderKey(name(items[i])), i};
    std::sort(keys.begin(), keys.end());
    std::vector<T> sorted;
    sorted.reserve(items.size());
    for (const auto &k : keys)
        sorted.push_back(std::move(items[k.second]));
    items = std::move(sorted);
}

} // namespace invexa
