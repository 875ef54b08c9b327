#pragma once
#include <cstdint>
#include <utility>
#include <vector>

namespace invexa {

class TResultsDatabase;

// Maps a row's position in natural (rowid) order to its rowid, for a grid that shows any part of a table of
// millions of rows. SQLite has no way to find the n-th row without stepping over the n before it, so positions
// are reached from the nearest of: the first row, the last row, or a checkpoint (the rowid at every
// StepRows-th position, collected by one rowid scan the first time a position far from both ends is asked
// for). No step ever walks more than about StepRows rows, and the checkpoints take 16 bytes per StepRows rows.
//
// The pager holds no statement between calls, so it never keeps the table busy. Changes made through the
// grid are reported with NoteDeleted/NoteAppended, which keep the checkpoints valid; anything else that
// changes the table (a DELETE statement, emptying) calls Reset.
class TResultsPager {
public:
    static constexpr std::int64_t StepRows = 2048;

    explicit TResultsPager(TResultsDatabase &db) : db_(db) {}

    // Forgets the count and the checkpoints; both are read again when next needed.
    void Reset();
    std::int64_t Count();
    // The rows counted up to limit, reading no more of the table; a figure below limit is the count.
    std::int64_t CountUpTo(std::int64_t limit);
    bool CountKnown() const { return count_ >= 0; }
    // The count made elsewhere (another connection's), of the table as it is.
    void SetCount(std::int64_t count) { count_ = count; }
    // Rowid of the row at position pos (0-based), 0 when there is none.
    std::int64_t RowidAt(std::int64_t pos);
    // Number of rows whose rowid is below rowid: the position of that row when it exists.
    std::int64_t PositionOf(std::int64_t rowid);
    // Those of the given rowids whose rows still exist, in the given order.
    std::vector<std::int64_t> Existing(const std::vector<std::int64_t> &rowids);

    void NoteDeleted(std::int64_t rowid);
    // A row stored at the end of the table.
    void NoteAppended(std::int64_t rowid);

private:
    using TCheckpoint = std::pair<std::int64_t, std::int64_t>; // position, rowid
    void BuildCheckpoints();
    std::int64_t StepFrom(std::int64_t firstRowid, std::int64_t offset, bool descending);
    std::int64_t CountBetween(std::int64_t fromRowid, std::int64_t belowRowid, std::int64_t limit);

    TResultsDatabase &db_;
    std::int64_t count_ = -1;
    bool built_ = false;
    std::vector<TCheckpoint> checkpoints_;
};

} // namespace invexa
