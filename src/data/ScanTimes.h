#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace SQLite {
class Database;
class Statement;
} // namespace SQLite

namespace invexa {

// When each user's rows were scanned and merged: the table Scans beside Results, one row per user name as
// Results stores it, times in seconds since 1970 UTC. Results itself never changes for it, so other programs
// reading the file see the same table as before. A file made before Scans existed has no such table until the
// first merge adds it; reading it then gives unknown times.
namespace ScanTimes {
constexpr const char *TableName = "Scans";

struct TTimes {
    std::optional<std::int64_t> LastScan; // the scan file's modification time
    std::optional<std::int64_t> Merged;   // when the merge took it
};

// Creates the table unless it exists. Runs inside the caller's transaction when there is one.
void Create(SQLite::Database &db);
bool Exists(SQLite::Database &db);
// Removes every row; nothing when the table does not exist.
void Clear(SQLite::Database &db);
// Every user's times; empty when the table does not exist.
std::map<std::string, TTimes> ReadAll(SQLite::Database &db);

// 2026-12-07T05:33:10Z
std::string Iso8601(std::int64_t secondsUtc);
} // namespace ScanTimes

// The merge's recorder: the table is added at the first record, inside the merge's transaction, and one
// prepared statement serves every user.
class TScanTimeRecorder {
public:
    explicit TScanTimeRecorder(SQLite::Database &db);
    ~TScanTimeRecorder();
    // Records one user's times, replacing earlier ones; the name in UTF-8, as Results stores it.
    void Record(const std::string &userName, std::int64_t lastScan, std::int64_t merged);

private:
    SQLite::Database &db_;
    std::unique_ptr<SQLite::Statement> insert_;
};

} // namespace invexa
