#pragma once
#include "data/ResultRow.h"

#include <cstdint>
#include <string>

namespace invexa {

class TPgResult;

// The columns a row is read with, and the row of a result read with them (texts as Windows-1252, a NULL text as
// the empty one).
inline constexpr const char *PgRowColumns = "Bookmark, UserName, AppMaker, AppName, Version, AppPath, Verification";
TResultRow PgResultRow(const TPgResult &result, int row);

// Rows of the results table encoded as the data of one COPY ... FROM STDIN (FORMAT binary), in memory. Texts
// are Windows-1252 as TResultRow holds them, cut to their columns' widths and at a zero byte as the SQLite
// table cuts them, and sent as UTF-8; Verification must fit SMALLINT.
class TPgCopyRows {
public:
    // With bookmarks, each row's Bookmark goes first (a copy that keeps them); otherwise the table assigns them.
    explicit TPgCopyRows(bool withBookmarks = false);

    // The column list of the COPY statement these rows fit.
    std::string Statement() const;
    void Add(const TResultRow &row);
    std::int64_t Rows() const { return rows_; }
    // The data so far (the header included); Take hands it over and starts the next piece without a header.
    const std::string &Data() const { return data_; }
    std::string Take();
    // What ends the data, after the last piece.
    static std::string Trailer();

private:
    void Text(std::string_view cp1252, TField field);
    void Int(std::uint64_t value, int bytes);

    bool withBookmarks_;
    std::string data_;
    std::int64_t rows_ = 0;
};

} // namespace invexa
