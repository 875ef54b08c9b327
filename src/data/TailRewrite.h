#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace SQLite {
class Database;
}

namespace invexa {

class TDataModule1;

// Where one file's rows go: at the end of the table, after its user's rows were removed, or over its user's old
// rows at the end of the table (see TTailRewrite).
struct TPlacement {
    bool InPlace = false;
    std::int64_t Next = 0;    // bookmark of the first row to write; afterwards, one past the last written
    std::int64_t Limit = 0;   // in place: the first bookmark the rows may not reach (0: none)
    std::int64_t OldLast = 0; // in place: the last bookmark of the user's old rows (0: it has none)
    std::int64_t Gap = 0;     // appended: bookmarks left free before the rows, for this user to grow into later
};

// Writes the rows of a pass's first files over their users' old rows where those rows end the table, in merge
// order, which costs far less than deleting them. It guarantees that the table ends the pass exactly as
// delete-and-append leaves it: the same rows in the same order, only the bookmarks differ. Whenever the rewrite
// cannot go on, it moves what it wrote to the end of the table, where delete-and-append would have put it.
// Between two commits the rows merged so far may stand before the old rows of users still to come.
class TTailRewrite {
public:
    explicit TTailRewrite(TDataModule1 &dm) : dm_(dm) {}

    // Plans the rewrite for the files from `from` on, whose users (as stored) are given in merge order: the run of
    // users, new users allowed, whose old rows are disjoint consecutive blocks that together make up every row
    // after some point. Called inside the pass's first write transaction.
    void Plan(const std::vector<std::string> &users, std::size_t from);
    // At the start of each later transaction: a table another program wrote to meanwhile is not planned any more.
    void Recheck();

    bool Covers(std::size_t file) const { return active_ && file >= from_ && file - from_ < plan_.size(); }
    // Whether the file's user has old rows in the tail (only for a covered file).
    bool HasOldRows(std::size_t file) const { return plan_[file - from_].Count > 0; }

    // A planned file writes from where its user's old rows start up to where the next planned user's start.
    TPlacement PlacementFor(std::size_t file) const;
    // The rows did not fit from where their user's old rows start: the free bookmarks before them may do.
    bool Widen(std::size_t file, TPlacement &at) const;
    void Written(const TPlacement &at) { next_ = at.Next; }

    // Moves the rows written over the tail so far to the end of the table; from now on files are appended.
    void Abandon();

    // Removes the rows with from <= bookmark < below.
    static void DeleteBookmarks(SQLite::Database &db, std::int64_t from, std::int64_t below);

private:
    struct TEntry {
        std::int64_t Count, First, Last;
        std::int64_t Limit; // where the next planned user's old rows start (0: no more)
    };

    bool PlanBlocks(const std::vector<std::string> &users, std::int64_t &first, std::int64_t &count);

    TDataModule1 &dm_;
    std::vector<TEntry> plan_;
    std::size_t from_ = 0;
    bool active_ = false;
    std::int64_t start_ = 0, next_ = 0;
    std::int64_t version_ = 0;
};

} // namespace invexa
