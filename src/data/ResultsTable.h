#pragma once
#include "data/ResultRow.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace invexa {

class TResultsDatabase;

// The table binding: a cursor over Results in natural (rowid) order, row appends, and keyed access for the
// grid. Operations on a closed table throw "Cannot perform this operation on a closed dataset".
class TResultsTable {
public:
    explicit TResultsTable(TResultsDatabase &db);
    ~TResultsTable();

    void Open();  // nothing when open already
    void Close(); // the cursor and any pending append are dropped
    bool Active() const { return active_; }
    // Removes every row; called on the closed table, which stays closed.
    void Empty();

    // Cursor. First/Next stream rows through one statement; Eof turns true after Next passed the last row
    // (at once for an empty table). Any write through this class ends the stream, keeping the current row.
    void First();
    void Next();
    bool Eof() const { return eof_; }
    bool HasCurrent() const { return current_.Bookmark != 0; }
    const TResultRow &Current() const { return current_; }
    std::int64_t Bookmark() const { return current_.Bookmark; }
    // Empty text, or 0, when there is no current row.
    void GotoBookmark(std::int64_t bookmark);
    // Removes the current row; the row after it (else the one before) becomes current. On an empty table:
    // "Cannot perform this operation on an empty dataset".
    void Delete();

    // Appends rows[0..n) at the end of the table (texts must already be cut to width), several rows to a
    // statement; the last becomes the current row.
    void PostRows(const TResultRow *rows, std::size_t n);
    // Stores rows[0..n) under the bookmarks first, first + 1, ...: a free bookmark gets a new row, and one that
    // holds a row of the same user has that row rewritten in place (its UserName, and so the index, untouched).
    // A bookmark that holds another user's row is refused with an error. The last row becomes the current row.
    void PostRowsAt(std::int64_t first, const TResultRow *rows, std::size_t n);

    // Keyed access for the grid: counts, windows of rows by bookmark, one-row writes.
    // Bookmark of the last row in natural order; 0 for an empty table.
    std::int64_t LastBookmark();
    // Rows with bookmark > after, ascending, at most limit.
    std::vector<TResultRow> ReadAfter(std::int64_t after, int limit);
    // One keyed UPDATE of all six columns of row.Bookmark.
    void UpdateRow(const TResultRow &row);
    // Stores row at the end of the table and sets its bookmark.
    void InsertRow(TResultRow &row);
    void DeleteRow(std::int64_t bookmark);

    // The grid's writes. Another program (a second administrator's merge, which reuses the bookmarks of the rows
    // it replaces) may have changed the table since the grid read it at version `seen` (DataVersion), and a write
    // aimed by bookmark would then land on another row.
    // Writes row (one keyed UPDATE) unless the table changed since seen and the row no longer holds shown: then
    // nothing is written and the answer is false. Throws "That row no longer exists" when the row is gone.
    bool UpdateRowIfUnchanged(const TResultRow &row, const TResultRow &shown, std::int64_t seen);
    // Moves the cursor to the row and deletes it there, unless the table changed since seen at all: then nothing
    // is deleted and there is no answer. Answers the row deleted.
    std::optional<TResultRow> DeleteIfUnchanged(std::int64_t bookmark, std::int64_t seen);

private:
    struct TStatements;
    void RequireActive() const;
    void EndStream();
    // Ready for a write of n rows; false when there are none.
    bool BeginPost(std::size_t n);
    bool ReadOne(const char *sql, std::int64_t key, TResultRow &row);
    void InsertChunk(const TResultRow *rows, std::size_t n);
    void StoreChunkAt(std::int64_t first, const TResultRow *rows, std::size_t n);
    std::vector<TResultRow> ReadWindow(const char *where, std::int64_t key, int limit);

    TResultsDatabase &db_;
    std::unique_ptr<TStatements> st_;
    bool active_ = false;
    bool eof_ = true;
    TResultRow current_;
};

} // namespace invexa
