#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace invexa {

// The six columns, in the table's own order (the grid and the CSV put Verification before AppPath).
enum class TField { UserName, AppMaker, AppName, Version, AppPath, Verification };
// The order the grid and datadump.csv show.
inline constexpr TField DisplayFields[] = {TField::UserName, TField::AppMaker,     TField::AppName,
                                           TField::Version,  TField::Verification, TField::AppPath};

const char *FieldName(TField field);
// Width in characters of a text column; 0 for Verification.
int FieldWidth(TField field);

// One row of the results table. Texts are 8-bit (Windows-1252) bytes; Bookmark is the row's rowid, 0 for a row
// not stored yet. An unset Verification reads as 0 and as the empty text.
struct TResultRow {
    std::int64_t Bookmark = 0;
    std::string UserName, AppMaker, AppName, Version, AppPath;
    // Edits and scan files give -32768 to 32767; another program may have stored any integer in the table.
    std::optional<std::int64_t> Verification;

    std::string Text(TField field) const;
    // Texts are cut at their first zero byte and to the column's width. Verification must be a whole number
    // from -32768 to 32767 or empty; anything else throws EInvexaError.
    void SetText(TField field, std::string_view text);
    bool operator==(const TResultRow &) const = default;
};

// Cuts a text at its first zero byte and to width bytes.
std::string CutToWidth(std::string_view text, int width);
std::string_view CutView(std::string_view text, int width);

} // namespace invexa
