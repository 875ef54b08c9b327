#include "data/ScanTimes.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <ctime>

namespace invexa {

void ScanTimes::Create(SQLite::Database &db) {
    db.exec("CREATE TABLE IF NOT EXISTS Scans (UserName VARCHAR(16) PRIMARY KEY, LastScan INTEGER, Merged INTEGER)");
}

bool ScanTimes::Exists(SQLite::Database &db) {
    SQLite::Statement st(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE");
    st.bind(1, TableName);
    return st.executeStep();
}

TScanTimeRecorder::TScanTimeRecorder(SQLite::Database &db) : db_(db) {}
TScanTimeRecorder::~TScanTimeRecorder() = default;

void TScanTimeRecorder::Record(const std::string &userName, std::int64_t lastScan, std::int64_t merged) {
    if (!insert_) {
        ScanTimes::Create(db_);
        insert_ = std::make_unique<SQLite::Statement>(
            db_, "INSERT OR REPLACE INTO Scans (UserName, LastScan, Merged) VALUES (?, ?, ?)");
    }
    insert_->reset();
    insert_->bind(1, userName);
    insert_->bind(2, lastScan);
    insert_->bind(3, merged);
    insert_->exec();
    insert_->reset();
}

void ScanTimes::Clear(SQLite::Database &db) {
    if (Exists(db))
        db.exec("DELETE FROM Scans");
}

std::map<std::string, ScanTimes::TTimes> ScanTimes::ReadAll(SQLite::Database &db) {
    std::map<std::string, TTimes> out;
    if (!Exists(db))
        return out;
    SQLite::Statement st(db, "SELECT UserName, LastScan, Merged FROM Scans");
    while (st.executeStep()) {
        TTimes &t = out[st.getColumn(0).getString()];
        if (!st.getColumn(1).isNull())
            t.LastScan = st.getColumn(1).getInt64();
        if (!st.getColumn(2).isNull())
            t.Merged = st.getColumn(2).getInt64();
    }
    return out;
}

std::string ScanTimes::Iso8601(std::int64_t secondsUtc) {
    std::time_t t = static_cast<std::time_t>(secondsUtc);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

} // namespace invexa
