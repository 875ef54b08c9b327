#include "pgsql/PgCatalogue.h"

#include "pgsql/PgConnection.h"

#include <algorithm>

namespace invexa {
namespace {

std::optional<std::int64_t> IntOrNone(const TPgResult &result, int row, int col) {
    return result.Null(row, col) ? std::nullopt : std::optional(result.Int(row, col));
}

} // namespace

TCatalogue::TCounts TPgCatalogue::Count(TPgConnection &conn) {
    // Both splits in one pass over the table: the grouping by application leaves Version out (GROUPING 1).
    TPgResult result = conn.Exec(
        "SELECT m, a, v, GROUPING(v), count(DISTINCT u) FROM (SELECT COALESCE(UserName, '') AS u, "
        "COALESCE(AppMaker, '') AS m, COALESCE(AppName, '') AS a, COALESCE(Version, '') AS v FROM Results) AS r "
        "GROUP BY GROUPING SETS ((m, a), (m, a, v))");
    TCatalogue::TCounts counts;
    for (int r = 0; r < result.Rows(); ++r) {
        const bool byApp = result.Text(r, 3) == "1";
        (byApp ? counts.Apps : counts.Versions)
            .push_back({std::string(result.Text(r, 0)), std::string(result.Text(r, 1)),
                        byApp ? std::string() : std::string(result.Text(r, 2)), result.Int(r, 4)});
    }
    std::sort(counts.Apps.begin(), counts.Apps.end(), TCatalogue::Before);
    std::sort(counts.Versions.begin(), counts.Versions.end(), TCatalogue::Before);
    return counts;
}

std::vector<std::string> TPgCatalogue::Users(TPgConnection &conn, const std::string &maker, const std::string &appName,
                                             const std::optional<std::string> &version) {
    TPgResult result =
        conn.Exec("SELECT DISTINCT COALESCE(UserName, '') FROM Results WHERE COALESCE(AppMaker, '') = "
                  "$1 AND COALESCE(AppName, '') = $2 AND ($3::text IS NULL OR COALESCE(Version, '') = $3)",
                  {maker, appName, version});
    std::vector<std::string> names;
    for (int r = 0; r < result.Rows(); ++r)
        names.emplace_back(result.Text(r, 0));
    TCatalogue::SortByName(names, [](const std::string &s) { return std::string_view(s); });
    return names;
}

std::vector<TComputerLine> TPgCatalogue::Computers(TPgConnection &conn) {
    TPgResult result =
        conn.Exec("SELECT r.u, r.n, s.LastScan, s.Merged FROM (SELECT COALESCE(UserName, '') AS u, "
                  "count(*) AS n FROM Results GROUP BY 1) AS r LEFT JOIN Scans AS s ON s.UserName = r.u");
    std::vector<TComputerLine> lines;
    for (int r = 0; r < result.Rows(); ++r)
        lines.push_back(
            {std::string(result.Text(r, 0)), result.Int(r, 1), IntOrNone(result, r, 2), IntOrNone(result, r, 3)});
    TCatalogue::SortByName(lines, [](const TComputerLine &c) { return std::string_view(c.UserName); });
    return lines;
}

std::map<std::string, ScanTimes::TTimes> TPgCatalogue::Times(TPgConnection &conn) {
    TPgResult result = conn.Exec("SELECT UserName, LastScan, Merged FROM Scans");
    std::map<std::string, ScanTimes::TTimes> times;
    for (int r = 0; r < result.Rows(); ++r)
        times[std::string(result.Text(r, 0))] = {IntOrNone(result, r, 1), IntOrNone(result, r, 2)};
    return times;
}

} // namespace invexa
