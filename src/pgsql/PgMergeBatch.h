#pragma once
#include "data/ResultRow.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace invexa {

class TPgConnection;

// The scans of several users, written to PostgreSQL in one transaction: each user's rows are replaced by its
// scan's and its scan times recorded, all or nothing. The rows wait in memory, encoded for COPY, until Commit.
//
// Several programs may merge into one database at once. Each batch locks its users' names (transaction-scoped
// advisory locks, taken in one fixed order so that two batches never wait for each other in a ring) before it
// deletes their rows; a second batch of the same user waits until the first commits, then deletes the rows
// the first wrote and writes its own. So nothing is lost or doubled, and the scan committed last wins.
class TPgMergeBatch {
public:
    explicit TPgMergeBatch(TPgConnection &conn) : conn_(conn) {}

    // Adds one user's scan; the rows carry the user name (Windows-1252, cut to the column as stored). A user
    // added again in the same batch has only its last scan's rows, placed after the users added before.
    void Add(const std::string &userName, std::vector<TResultRow> rows, std::int64_t lastScan, std::int64_t merged);
    std::size_t Users() const { return users_.size(); }
    std::int64_t Rows() const;
    // Writes and commits the batch, and empties it. On an error nothing of it is written (the transaction is
    // rolled back, also by the server when the connection is lost), the batch keeps its scans, and the error
    // names the server.
    void Commit();

private:
    struct TUserScan {
        std::string Name; // UTF-8, as stored
        std::vector<TResultRow> Rows;
        std::int64_t LastScan = 0, Merged = 0;
    };
    void CopyRows();
    void RecordTimes();

    TPgConnection &conn_;
    std::vector<TUserScan> users_;
};

} // namespace invexa
