#include "data/Catalogue.h"

#include "base/Cp1252.h"
#include "data/ResultsDatabase.h"
#include "data/ScanTimes.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <algorithm>
#include <unordered_set>

namespace invexa {
namespace {

std::string_view TextOf(SQLite::Statement &st, int col) {
    SQLite::Column c = st.getColumn(col);
    return {c.getText(), static_cast<std::size_t>(c.getBytes())};
}

std::string Folded(std::string_view utf8) {
    return Cp1252Folded(Utf8ToCp1252(utf8));
}

// A string whose byte order is the catalogue's order of the texts: each folded, then each as Windows-1252
// bytes, then as stored (which tells apart texts Windows-1252 cannot hold). A text holds no NUL.
std::string SortKey(std::initializer_list<std::string_view> texts) {
    std::string key;
    for (std::string_view t : texts)
        key.append(Folded(t)).push_back('\0');
    for (std::string_view t : texts)
        key.append(Utf8ToCp1252(t)).push_back('\0');
    for (std::string_view t : texts)
        key.append(t).push_back('\0');
    return key;
}

void SortLines(std::vector<TCatalogueLine> &lines) {
    std::vector<std::pair<std::string, std::size_t>> keys(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        keys[i] = {SortKey({lines[i].AppMaker, lines[i].AppName, lines[i].Version}), i};
    std::sort(keys.begin(), keys.end(), [&](const auto &a, const auto &b) {
        std::int64_t ia = lines[a.second].Installs, ib = lines[b.second].Installs;
        return ia != ib ? ia > ib : a.first < b.first;
    });
    std::vector<TCatalogueLine> sorted;
    sorted.reserve(lines.size());
    for (const auto &k : keys)
        sorted.push_back(std::move(lines[k.second]));
    lines = std::move(sorted);
}

} // namespace

std::string TCatalogue::OrderKey(std::string_view text) {
    return SortKey({text});
}

bool TCatalogue::Before(const TCatalogueLine &a, const TCatalogueLine &b) {
    if (a.Installs != b.Installs)
        return a.Installs > b.Installs;
    return SortKey({a.AppMaker, a.AppName, a.Version}) < SortKey({b.AppMaker, b.AppName, b.Version});
}

void TCatalogue::Sort(std::vector<TCatalogueLine> &lines) {
    SortLines(lines);
}

std::vector<TCatalogueLine> TCatalogue::Filter(const std::vector<TCatalogueLine> &lines, std::string_view text) {
    if (text.empty())
        return lines;
    std::string needle = Folded(text);
    std::vector<TCatalogueLine> out;
    for (const TCatalogueLine &line : lines)
        if (Folded(line.AppMaker).find(needle) != std::string::npos ||
            Folded(line.AppName).find(needle) != std::string::npos)
            out.push_back(line);
    return out;
}

std::vector<std::string> TCatalogue::Users(TResultsDatabase &database, const std::string &maker,
                                           const std::string &appName, const std::optional<std::string> &version) {
    SQLite::Database &db = database.Connection();
    std::int64_t last = db.execAndGet("SELECT COALESCE(MAX(rowid), 0) FROM Results").getInt64();
    // No index covers the application, so the table is read whole, one rowid range to a transaction.
    SQLite::Statement st(db, "SELECT DISTINCT COALESCE(UserName, '') FROM Results WHERE rowid > ?1 AND rowid <= ?2 "
                             "AND COALESCE(AppMaker, '') = ?3 AND COALESCE(AppName, '') = ?4 "
                             "AND (?5 IS NULL OR COALESCE(Version, '') = ?5)");
    std::unordered_set<std::string> names;
    for (std::int64_t from = 0; from < last; from += UsersRange) {
        st.reset();
        st.bind(1, from);
        st.bind(2, from + UsersRange);
        st.bind(3, maker);
        st.bind(4, appName);
        if (version)
            st.bind(5, *version);
        else
            st.bind(5);
        while (st.executeStep())
            names.emplace(TextOf(st, 0));
    }
    std::vector<std::string> out(names.begin(), names.end());
    TCatalogue::SortByName(out, [](const std::string &s) { return std::string_view(s); });
    return out;
}

std::vector<TComputerLine> TCatalogue::Computers(TResultsDatabase &database) {
    SQLite::Database &db = database.Connection();
    std::vector<TComputerLine> out;
    std::int64_t blank =
        db.execAndGet("SELECT COUNT(*) FROM Results WHERE UserName IS NULL OR UserName = ''").getInt64();
    if (blank > 0)
        out.push_back({"", blank, {}, {}});
    // A few hundred users to a transaction, through the UserName index.
    SQLite::Statement st(db, "SELECT UserName, COUNT(*) FROM Results WHERE UserName > ? "
                             "GROUP BY UserName ORDER BY UserName LIMIT 500");
    std::string after;
    for (bool more = true; more;) {
        st.reset();
        st.bind(1, after);
        more = false;
        while (st.executeStep()) {
            out.push_back({std::string(TextOf(st, 0)), st.getColumn(1).getInt64(), {}, {}});
            after = out.back().UserName;
            more = true;
        }
    }
    std::map<std::string, ScanTimes::TTimes> times = ScanTimes::ReadAll(db);
    for (TComputerLine &line : out)
        if (auto it = times.find(line.UserName); it != times.end()) {
            line.LastScan = it->second.LastScan;
            line.Merged = it->second.Merged;
        }
    TCatalogue::SortByName(out, [](const TComputerLine &c) { return std::string_view(c.UserName); });
    return out;
}

} // namespace invexa
