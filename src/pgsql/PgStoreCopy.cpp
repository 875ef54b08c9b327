#include "pgsql/PgStoreCopy.h"

#include "data/ResultsDatabase.h"
#include "data/ResultsTable.h"
#include "data/ScanTimes.h"
#include "pgsql/PgCopyRows.h"
#include "pgsql/PgResultsStore.h"

namespace invexa {
namespace {

constexpr std::size_t CopyPiece = 1 << 20;

void CopyTimes(TResultsDatabase &from, TPgConnection &conn) {
    std::map<std::string, ScanTimes::TTimes> times;
    try {
        times = ScanTimes::ReadAll(from.Connection());
    } catch (...) {
        from.Rethrow();
    }
    std::vector<std::string> names;
    std::vector<std::optional<std::int64_t>> lastScans, merged;
    for (const auto &[name, t] : times) {
        names.push_back(name);
        lastScans.push_back(t.LastScan);
        merged.push_back(t.Merged);
    }
    conn.Exec("INSERT INTO Scans (UserName, LastScan, Merged) SELECT * FROM unnest($1::text[], $2::bigint[], "
              "$3::bigint[])",
              {PgTextArray(names), PgIntArray(lastScans), PgIntArray(merged)});
}

} // namespace

std::int64_t TPgStoreCopy::Run(TResultsDatabase &from, TPgResultsStore &to) {
    to.Init();
    TPgConnection &conn = to.Connection();
    TPgTransaction tx(conn);
    // Nobody may write between the look and the copy.
    conn.Exec("LOCK TABLE Results, Scans IN EXCLUSIVE MODE");
    if (conn.Exec("SELECT EXISTS (SELECT 1 FROM Results) OR EXISTS (SELECT 1 FROM Scans)").Text(0, 0) == "t")
        throw EInvexaError("The results table on " + to.Server() +
                           " is not empty: the copy goes only into empty "
                           "tables");
    TResultsTable table(from);
    table.Open();
    TPgCopyRows rows(true);
    conn.CopyIn(rows.Statement());
    for (table.First(); !table.Eof(); table.Next()) {
        rows.Add(table.Current());
        if (rows.Data().size() >= CopyPiece)
            conn.CopyData(rows.Take());
    }
    const std::int64_t copied = rows.Rows();
    conn.CopyData(rows.Take() + TPgCopyRows::Trailer());
    conn.CopyEnd();
    table.Close();
    CopyTimes(from, conn);
    // The rows added later go after the copied ones.
    conn.Exec("SELECT setval(s, GREATEST(m, COALESCE(pg_sequence_last_value(s), 0))) FROM (SELECT "
              "pg_get_serial_sequence('results', 'bookmark')::regclass AS s, max(Bookmark) AS m FROM Results) AS x "
              "WHERE m IS NOT NULL");
    tx.Commit();
    return copied;
}

} // namespace invexa
