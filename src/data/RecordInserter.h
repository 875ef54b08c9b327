#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace SQLite {
class Database;
}

namespace invexa {

struct TRecordView;

// Writes scan records to the results table, up to ChunkRows rows to a statement, their texts bound where they
// lie in the file's buffer. This is where a merge spends most of its time: SQLite's own calls, every statement
// prepared once, each text looked at once.
class TRecordInserter {
public:
    static constexpr std::size_t ChunkRows = 64; // fewer costs more statements; more gains nothing measurable

    explicit TRecordInserter(SQLite::Database &db);
    ~TRecordInserter();
    TRecordInserter(const TRecordInserter &) = delete;
    TRecordInserter &operator=(const TRecordInserter &) = delete;

    // Appends the records of one user, whose name is given as the table stores it (UTF-8, cut to its width).
    // Texts are cut to their columns' widths and stored as UTF-8. Errors throw SQLite::Exception.
    void Append(const std::string &user, const TRecordView *records, std::size_t n);
    // Stores them under the bookmarks first, first + 1, ...: a free bookmark gets a new row, one that holds a row
    // of the same user has it rewritten (its UserName, and so the index, untouched). False when a bookmark holds
    // another user's row, which is left as it is.
    bool StoreAt(std::int64_t first, const std::string &user, const TRecordView *records, std::size_t n);

private:
    class TStatement;
    TStatement &Prepared(std::unique_ptr<TStatement> &st, bool at, std::size_t rows);
    void Bind(TStatement &st, int first, const std::string &user, const TRecordView &rec, std::string *scratch);
    int Run(TStatement &st);

    sqlite3 *db_;
    std::unique_ptr<TStatement> append_[ChunkRows], storeAt_[ChunkRows];
    std::string scratch_[4 * ChunkRows]; // texts that are not ASCII, converted to UTF-8
};

} // namespace invexa
