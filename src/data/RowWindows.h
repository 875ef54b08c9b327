#pragma once
#include "data/ResultRow.h"

#include <cstdint>
#include <future>
#include <map>
#include <vector>

namespace invexa {

class TResultsStore;

// The rows a grid shows of a table of any size. It never holds the table: it counts, reads windows of
// WindowRows rows by position when they are first asked for, keeps at most MaxWindows of them and evicts the
// one farthest from the rows asked for.
//
// Reading afresh (Reset) also tells the store what a write aimed by bookmark is to be checked against, for what
// another program changed since. Errors leave in the user's words.
class TRowWindows {
public:
    static constexpr int WindowRows = 128;
    static constexpr std::size_t MaxWindows = 8;

    explicit TRowWindows(TResultsStore &store) : store_(store) {}

    // Forgets every row and the count; they are read again from here on, as of the open table's version now.
    void Reset();

    // The rows of the table; waits for a count started by CountAhead.
    std::int64_t Count();
    // The rows counted up to limit, reading no more of the table; a figure below limit is the count.
    std::int64_t CountUpTo(std::int64_t limit);
    // Starts counting the whole table on a thread of its own, when the store can (through a connection of its own),
    // so that the first rows need not wait for it (a count reads the whole UserName index: 52,000 pages at
    // 10,000,000 rows).
    void CountAhead();
    // True once the count is known; takes the count of CountAhead when it has come (one that failed is made
    // again by Count, which reports its error).
    bool CountKnown();
    bool Counting() const { return counting_.valid(); }
    // The rows of window index (positions index * WindowRows on); fetched tells whether they were read just now.
    const std::vector<TResultRow> &Window(std::int64_t index, bool *fetched = nullptr);
    // The row at position pos, nullptr past the end.
    const TResultRow *RowAt(std::int64_t pos);
    // Position of the bookmark's row; -1 when it is gone.
    std::int64_t PositionOf(std::int64_t bookmark);
    // Position of the bookmark's row, or of the first row after it when it is gone.
    std::int64_t PositionAtOrAfter(std::int64_t bookmark);
    // Those of the bookmarks whose rows still exist, in the given order.
    std::vector<std::int64_t> Existing(const std::vector<std::int64_t> &bookmarks);

    // The row at pos was written: the cached copy takes its values.
    void Written(std::int64_t pos, const TResultRow &row);
    // Rows removed or added through the grid: counts and positions stay right without a fresh read.
    void Deleted(std::int64_t bookmark);
    void Appended(std::int64_t bookmark);

    bool Holds(std::int64_t index) const { return windows_.contains(index); }
    std::size_t CachedRows() const;

private:
    // Waits for a count under way; keep takes it, else it is dropped (the table changed through the grid since).
    void EndCountAhead(bool keep);
    // Position of the first row at or after bookmark when a cached window covers it, else -1.
    std::int64_t CachedPositionOf(std::int64_t bookmark, bool &exact) const;

    TResultsStore &store_;
    std::map<std::int64_t, std::vector<TResultRow>> windows_;
    std::future<std::int64_t> counting_;
};

} // namespace invexa
