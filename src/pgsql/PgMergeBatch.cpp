#include "pgsql/PgMergeBatch.h"

#include "base/Cp1252.h"
#include "pgsql/PgConnection.h"
#include "pgsql/PgCopyRows.h"

#include <algorithm>

namespace invexa {
namespace {
// COPY data goes to the server in pieces of about this many bytes.
constexpr std::size_t CopyPiece = 1 << 20;
// The first key of the user names' advisory locks, so that they stay apart from other programs' locks.
constexpr int LockClass = 0x49565841; // "IVXA"
} // namespace

void TPgMergeBatch::Add(const std::string &userName, std::vector<TResultRow> rows, std::int64_t lastScan,
                        std::int64_t merged) {
    std::string name = Cp1252ToUtf8(CutView(userName, FieldWidth(TField::UserName)));
    std::erase_if(users_, [&](const TUserScan &u) { return u.Name == name; });
    users_.push_back({std::move(name), std::move(rows), lastScan, merged});
}

std::int64_t TPgMergeBatch::Rows() const {
    std::int64_t n = 0;
    for (const TUserScan &u : users_)
        n += static_cast<std::int64_t>(u.Rows.size());
    return n;
}

void TPgMergeBatch::CopyRows() {
    TPgCopyRows rows;
    conn_.CopyIn(rows.Statement());
    for (const TUserScan &user : users_)
        for (const TResultRow &row : user.Rows) {
            rows.Add(row);
            if (rows.Data().size() >= CopyPiece)
                conn_.CopyData(rows.Take());
        }
    conn_.CopyData(rows.Take() + TPgCopyRows::Trailer());
    conn_.CopyEnd();
}

void TPgMergeBatch::RecordTimes() {
    std::vector<std::string> names;
    std::vector<std::optional<std::int64_t>> lastScans, merged;
    for (const TUserScan &u : users_) {
        names.push_back(u.Name);
        lastScans.push_back(u.LastScan);
        merged.push_back(u.Merged);
    }
    conn_.Exec("INSERT INTO Scans (UserName, LastScan, Merged) "
               "SELECT * FROM unnest($1::text[], $2::bigint[], $3::bigint[]) "
               "ON CONFLICT (UserName) DO UPDATE SET LastScan = excluded.LastScan, Merged = excluded.Merged",
               {PgTextArray(names), PgIntArray(lastScans), PgIntArray(merged)});
}

void TPgMergeBatch::Commit() {
    if (users_.empty())
        return;
    std::vector<std::string> names;
    for (const TUserScan &u : users_)
        names.push_back(u.Name);
    const std::string array = PgTextArray(names);
    TPgTransaction tx(conn_);
    // The locks are taken by a statement of their own, so the DELETE after them reads the rows as of the
    // moment they were granted: those another batch of the same users committed while this one waited.
    conn_.Exec("SELECT pg_advisory_xact_lock($2::int, k) FROM (SELECT DISTINCT hashtext(u) AS k "
               "FROM unnest($1::text[]) AS u ORDER BY k) AS keys",
               {array, std::to_string(LockClass)});
    conn_.Exec("DELETE FROM Results WHERE UserName = ANY($1::text[])", {array});
    CopyRows();
    RecordTimes();
    tx.Commit();
    users_.clear();
}

} // namespace invexa
