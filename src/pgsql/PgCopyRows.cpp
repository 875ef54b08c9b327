#include "pgsql/PgCopyRows.h"

#include "base/Cp1252.h"
#include "base/InvexaError.h"
#include "pgsql/PgConnection.h"

namespace invexa {
namespace {
// The binary format's signature, flags and header extension length.
constexpr char Header[] = "PGCOPY\n\377\r\n\0\0\0\0\0\0\0\0\0";
} // namespace

TResultRow PgResultRow(const TPgResult &result, int r) {
    TResultRow row;
    row.Bookmark = result.Int(r, 0);
    std::string *texts[5] = {&row.UserName, &row.AppMaker, &row.AppName, &row.Version, &row.AppPath};
    for (int i = 0; i < 5; ++i)
        AppendUtf8AsCp1252(*texts[i], result.Text(r, i + 1));
    if (!result.Null(r, 6))
        row.Verification = result.Int(r, 6);
    return row;
}

TPgCopyRows::TPgCopyRows(bool withBookmarks) : withBookmarks_(withBookmarks), data_(Header, sizeof Header - 1) {}

std::string TPgCopyRows::Statement() const {
    return std::string("COPY Results (") + (withBookmarks_ ? "Bookmark, " : "") +
           "UserName, AppMaker, AppName, Version, AppPath, Verification) FROM STDIN (FORMAT binary)";
}

std::string TPgCopyRows::Trailer() {
    return std::string("\xff\xff", 2);
}

void TPgCopyRows::Int(std::uint64_t value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        data_.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void TPgCopyRows::Text(std::string_view cp1252, TField field) {
    std::string_view text = CutView(cp1252, FieldWidth(field));
    const std::size_t at = data_.size();
    Int(0, 4);
    AppendCp1252AsUtf8(data_, text);
    const std::uint64_t length = data_.size() - at - 4;
    for (int i = 0; i < 4; ++i)
        data_[at + i] = static_cast<char>((length >> (24 - 8 * i)) & 0xFF);
}

void TPgCopyRows::Add(const TResultRow &row) {
    if (row.Verification && (*row.Verification < -32768 || *row.Verification > 32767))
        throw EInvexaError("The row with bookmark " + std::to_string(row.Bookmark) + " has Verification " +
                           std::to_string(*row.Verification) + ", which PostgreSQL's SMALLINT cannot hold");
    Int(withBookmarks_ ? 7 : 6, 2);
    if (withBookmarks_) {
        Int(8, 4);
        Int(static_cast<std::uint64_t>(row.Bookmark), 8);
    }
    Text(row.UserName, TField::UserName);
    Text(row.AppMaker, TField::AppMaker);
    Text(row.AppName, TField::AppName);
    Text(row.Version, TField::Version);
    Text(row.AppPath, TField::AppPath);
    if (row.Verification) {
        Int(2, 4);
        Int(static_cast<std::uint64_t>(*row.Verification), 2);
    } else {
        Int(0xFFFFFFFF, 4);
    }
    ++rows_;
}

std::string TPgCopyRows::Take() {
    std::string out;
    out.swap(data_);
    return out;
}

} // namespace invexa
