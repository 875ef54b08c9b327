#pragma once
#include "data/ResultRow.h"

#include <cstdint>
#include <memory>
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
    void Last();
    bool HasCurrent() const { return current_.Bookmark != 0; }
    const TResultRow &Current() const { return current_; }
    std::int64_t Bookmark() const { return current_.Bookmark; }
    // Empty text, or 0, when there is no current row.
    std::string AsString(TField field) const { return current_.Text(field); }
    std::int64_t AsInteger(TField field) const { return current_.Integer(field); }
    void GotoBookmark(std::int64_t bookmark);
    // Removes the current row; the row after it (else the one before) becomes current. On an empty table:
    // "Cannot perform this operation on an empty dataset".
    void Delete();

    // Appending: Append starts an empty row, SetField fills it (texts cut to width), Post writes it at the
    // end of the table and makes it the current row.
    void Append();
    void SetField(TField field, std::string_view text);
    void SetField(TField field, int value);
    void Post();
    void Cancel();
    // Posts rows[0..n) at the end of the table, as n Append/SetField/Post would (texts must already be cut to
    // width), several rows to a statement; the last becomes the current row.
    void PostRows(const TResultRow *rows, std::size_t n);
    // Stores rows[0..n) under the bookmarks first, first + 1, ...: a free bookmark gets a new row, and one that
    // holds a row of the same user has that row rewritten in place (its UserName, and so the index, untouched).
    // A bookmark that holds another user's row is refused with an error. The last row becomes the current row.
    void PostRowsAt(std::int64_t first, const TResultRow *rows, std::size_t n);

    // Keyed access for the grid: counts, windows of rows by bookmark, one-row writes.
    std::int64_t RecordCount();
    // Bookmark of the last row in natural order; 0 for an empty table.
    std::int64_t LastBookmark();
    // Rows with bookmark > after, ascending, at most limit.
    std::vector<TResultRow> ReadAfter(std::int64_t after, int limit);
    // Rows with bookmark < before, returned ascending, at most limit (the ones nearest to before).
    std::vector<TResultRow> ReadBefore(std::int64_t before, int limit);
    // One keyed UPDATE of all six columns of row.Bookmark.
    void UpdateRow(const TResultRow &row);
    // Stores row at the end of the table and sets its bookmark.
    void InsertRow(TResultRow &row);
    void DeleteRow(std::int64_t bookmark);

    TResultsDatabase &Database() { return db_; }

private:
    struct Statements;
    void RequireActive() const;
    void EndStream();
    bool ReadOne(const char *sql, std::int64_t key, TResultRow &row);
    void InsertChunk(const TResultRow *rows, std::size_t n);
    void StoreChunkAt(std::int64_t first, const TResultRow *rows, std::size_t n);
    std::vector<TResultRow> ReadWindow(const char *where, std::int64_t key, int limit);

    TResultsDatabase &db_;
    std::unique_ptr<Statements> st_;
    bool active_ = false;
    bool eof_ = true;
    bool appending_ = false;
    TResultRow current_;
    TResultRow pending_;
};

} // namespace invexa
