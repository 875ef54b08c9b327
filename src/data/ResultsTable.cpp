#include "data/ResultsTable.h"

#include "base/Cp1252.h"
#include "base/InvexaError.h"
#include "data/ResultsDatabase.h"
#include "data/ScanTimes.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>

namespace invexa {
namespace {

constexpr const char *Columns = "rowid, UserName, AppMaker, AppName, Version, AppPath, Verification";
const std::string SelectAll = std::string("SELECT ") + Columns + " FROM Results";

// A text is cut at its first zero byte, as when it is stored: another program may have stored one whole.
void AssignText(std::string &out, const SQLite::Column &col) {
    out.clear();
    if (!col.isNull()) {
        std::string_view text(col.getText(), static_cast<std::size_t>(col.getBytes()));
        AppendUtf8AsCp1252(out, text.substr(0, text.find('\0')));
    }
}

void ReadRow(SQLite::Statement &st, TResultRow &row) {
    row.Bookmark = st.getColumn(0).getInt64();
    AssignText(row.UserName, st.getColumn(1));
    AssignText(row.AppMaker, st.getColumn(2));
    AssignText(row.AppName, st.getColumn(3));
    AssignText(row.Version, st.getColumn(4));
    AssignText(row.AppPath, st.getColumn(5));
    SQLite::Column v = st.getColumn(6);
    if (v.isNull())
        row.Verification.reset();
    else
        row.Verification = v.getInt64(); // the integer the table holds, whatever another program stored there
}

bool IsAscii(std::string_view s) {
    unsigned char any = 0;
    for (char c : s)
        any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

// Binds the six columns in table order from parameter `first` on, each text cut to its column's width,
// without copying: the texts must outlive the statement's next step. ASCII is bound as it stands; other
// texts are converted into scratch. Texts are never NULL, so that the application delete's equality finds
// rows with empty names too.
void BindRow(SQLite::Statement &st, const TResultRow &row, std::string *scratch, int first = 1) {
    static constexpr TField Texts[5] = {TField::UserName, TField::AppMaker, TField::AppName, TField::Version,
                                        TField::AppPath};
    const std::string *texts[5] = {&row.UserName, &row.AppMaker, &row.AppName, &row.Version, &row.AppPath};
    for (int i = 0; i < 5; ++i) {
        std::string_view text = CutView(*texts[i], FieldWidth(Texts[i]));
        if (text.size() == texts[i]->size() && IsAscii(text)) {
            st.bindNoCopy(first + i, *texts[i]);
        } else {
            scratch[i].clear();
            AppendCp1252AsUtf8(scratch[i], text);
            st.bindNoCopy(first + i, scratch[i]);
        }
    }
    if (row.Verification)
        st.bind(first + 5, *row.Verification);
    else
        st.bind(first + 5);
}

constexpr std::size_t ChunkRows = 16;

std::string InsertSql(std::size_t rows) {
    std::string sql = "INSERT INTO Results (UserName, AppMaker, AppName, Version, AppPath, Verification) VALUES ";
    for (std::size_t i = 0; i < rows; ++i)
        sql += i ? ",(?, ?, ?, ?, ?, ?)" : "(?, ?, ?, ?, ?, ?)";
    return sql;
}

// Rows under given bookmarks: a bookmark that holds a row of the same user is rewritten without touching the
// UserName index; one that holds another user's row is left alone and missing from the statement's count.
std::string StoreAtSql(std::size_t rows) {
    std::string sql =
        "INSERT INTO Results (rowid, UserName, AppMaker, AppName, Version, AppPath, Verification) VALUES ";
    for (std::size_t i = 0; i < rows; ++i)
        sql += i ? ",(?, ?, ?, ?, ?, ?, ?)" : "(?, ?, ?, ?, ?, ?, ?)";
    return sql + " ON CONFLICT DO UPDATE SET AppMaker = excluded.AppMaker, AppName = excluded.AppName, "
                 "Version = excluded.Version, AppPath = excluded.AppPath, Verification = excluded.Verification "
                 "WHERE UserName = excluded.UserName";
}

} // namespace

struct TResultsTable::TStatements {
    explicit TStatements(SQLite::Database &db) : Last(db, "SELECT coalesce(max(rowid), 0) FROM Results"), db_(db) {}
    // Appends and stores of 1 to ChunkRows rows, each prepared when first needed: a bulk append spends much of
    // its time starting and ending statements, so rows go several to a statement.
    SQLite::Statement &Insert(std::size_t rows) { return Get(insert_[rows - 1], InsertSql(rows)); }
    SQLite::Statement &StoreAt(std::size_t rows) { return Get(storeAt_[rows - 1], StoreAtSql(rows)); }

    SQLite::Statement Last;
    std::string Scratch[5 * ChunkRows];
    std::unique_ptr<SQLite::Statement> Stream; // the cursor's walk, while it lasts

private:
    SQLite::Statement &Get(std::unique_ptr<SQLite::Statement> &st, const std::string &sql) {
        if (!st)
            st = std::make_unique<SQLite::Statement>(db_, sql);
        return *st;
    }

    SQLite::Database &db_;
    std::unique_ptr<SQLite::Statement> insert_[ChunkRows], storeAt_[ChunkRows];
};

TResultsTable::TResultsTable(TResultsDatabase &db) : db_(db) {}
TResultsTable::~TResultsTable() = default;

void TResultsTable::Open() try {
    if (active_)
        return;
    st_ = std::make_unique<TStatements>(db_.Connection());
    active_ = true;
    current_ = TResultRow();
    First();
    // An open walk holds a read lock on the file, which would keep every other program (a second administrator,
    // the invexa tool) from writing for as long as the table stays open; Next reads on from the current row.
    EndStream();
} catch (...) {
    db_.Rethrow();
}

void TResultsTable::Close() {
    st_.reset();
    active_ = false;
    eof_ = true;
    current_ = TResultRow();
}

void TResultsTable::Empty() try {
    // No WHERE clause: SQLite drops the pages at once instead of deleting row by row. The scan times go with
    // the rows they describe.
    SQLite::Transaction tx(db_.Connection());
    db_.Connection().exec("DELETE FROM Results");
    ScanTimes::Clear(db_.Connection());
    tx.commit();
} catch (...) {
    db_.Rethrow();
}

void TResultsTable::RequireActive() const {
    if (!active_)
        throw EInvexaError("Cannot perform this operation on a closed dataset");
}

void TResultsTable::EndStream() {
    if (st_)
        st_->Stream.reset();
}

bool TResultsTable::ReadOne(const char *where, std::int64_t key, TResultRow &row) {
    SQLite::Statement st(db_.Connection(), SelectAll + " " + where);
    st.bind(1, key);
    if (!st.executeStep())
        return false;
    ReadRow(st, row);
    return true;
}

void TResultsTable::First() try {
    RequireActive();
    st_->Stream = std::make_unique<SQLite::Statement>(db_.Connection(), SelectAll + " ORDER BY rowid");
    Next();
    if (eof_)
        current_ = TResultRow(); // an empty table has no current row, whatever was current before
} catch (...) {
    db_.Rethrow();
}

void TResultsTable::Next() try {
    RequireActive();
    if (!st_->Stream) {
        // The walk was ended by a write: carry on after the current row.
        TResultRow row;
        eof_ = !ReadOne("WHERE rowid > ? ORDER BY rowid LIMIT 1", current_.Bookmark, row);
        if (!eof_)
            current_ = std::move(row);
        return;
    }
    if (st_->Stream->executeStep()) {
        ReadRow(*st_->Stream, current_);
        eof_ = false;
    } else {
        eof_ = true;
        st_->Stream.reset();
    }
} catch (...) {
    db_.Rethrow();
}

void TResultsTable::GotoBookmark(std::int64_t bookmark) try {
    RequireActive();
    EndStream();
    TResultRow row;
    if (!ReadOne("WHERE rowid = ?", bookmark, row))
        throw EInvexaError("That row no longer exists");
    current_ = std::move(row);
    eof_ = false;
} catch (...) {
    db_.Rethrow();
}

void TResultsTable::Delete() try {
    RequireActive();
    EndStream();
    if (!HasCurrent()) {
        TResultRow row;
        if (!ReadOne("WHERE rowid > ? ORDER BY rowid LIMIT 1", 0, row))
            throw EInvexaError("Cannot perform this operation on an empty dataset");
        current_ = std::move(row);
    }
    std::int64_t gone = current_.Bookmark;
    DeleteRow(gone);
    TResultRow row;
    if (ReadOne("WHERE rowid > ? ORDER BY rowid LIMIT 1", gone, row) ||
        ReadOne("WHERE rowid < ? ORDER BY rowid DESC LIMIT 1", gone, row))
        current_ = std::move(row);
    else
        current_ = TResultRow();
} catch (...) {
    db_.Rethrow();
}

void TResultsTable::InsertChunk(const TResultRow *rows, std::size_t n) {
    SQLite::Statement &st = st_->Insert(n);
    st.reset();
    for (std::size_t i = 0; i < n; ++i)
        BindRow(st, rows[i], st_->Scratch + 5 * i, static_cast<int>(1 + 6 * i));
    st.exec();
}

bool TResultsTable::BeginPost(std::size_t n) {
    RequireActive();
    if (n > 0)
        EndStream();
    return n > 0;
}

void TResultsTable::PostRows(const TResultRow *rows, std::size_t n) {
    if (!BeginPost(n))
        return;
    for (std::size_t i = 0; i < n; i += ChunkRows)
        InsertChunk(rows + i, std::min(ChunkRows, n - i));
    current_ = rows[n - 1];
    current_.Bookmark = db_.Connection().getLastInsertRowid();
    eof_ = false;
}

void TResultsTable::StoreChunkAt(std::int64_t first, const TResultRow *rows, std::size_t n) {
    SQLite::Statement &st = st_->StoreAt(n);
    st.reset();
    for (std::size_t i = 0; i < n; ++i) {
        const int at = static_cast<int>(1 + 7 * i);
        st.bind(at, first + static_cast<std::int64_t>(i));
        BindRow(st, rows[i], st_->Scratch + 5 * i, at + 1);
    }
    if (st.exec() != static_cast<int>(n))
        throw EInvexaError("Cannot store rows from bookmark " + std::to_string(first) +
                           " on: a bookmark holds another user's row");
}

void TResultsTable::PostRowsAt(std::int64_t first, const TResultRow *rows, std::size_t n) {
    if (!BeginPost(n))
        return;
    for (std::size_t i = 0; i < n; i += ChunkRows)
        StoreChunkAt(first + static_cast<std::int64_t>(i), rows + i, std::min(ChunkRows, n - i));
    current_ = rows[n - 1];
    current_.Bookmark = first + static_cast<std::int64_t>(n) - 1;
    eof_ = false;
}

std::int64_t TResultsTable::LastBookmark() {
    RequireActive();
    SQLite::Statement &st = st_->Last;
    st.reset();
    st.executeStep();
    std::int64_t last = st.getColumn(0).getInt64();
    st.reset();
    return last;
}

std::vector<TResultRow> TResultsTable::ReadWindow(const char *where, std::int64_t key, int limit) {
    RequireActive();
    SQLite::Statement st(db_.Connection(), SelectAll + " " + where);
    st.bind(1, key);
    st.bind(2, limit);
    std::vector<TResultRow> rows;
    while (st.executeStep())
        ReadRow(st, rows.emplace_back());
    return rows;
}

std::vector<TResultRow> TResultsTable::ReadAfter(std::int64_t after, int limit) try {
    return ReadWindow("WHERE rowid > ? ORDER BY rowid LIMIT ?", after, limit);
} catch (...) {
    db_.Rethrow();
}

void TResultsTable::UpdateRow(const TResultRow &row) try {
    RequireActive();
    SQLite::Statement st(db_.Connection(), "UPDATE Results SET UserName = ?, AppMaker = ?, AppName = ?, "
                                           "Version = ?, AppPath = ?, Verification = ? WHERE rowid = ?");
    std::string scratch[5];
    BindRow(st, row, scratch);
    st.bind(7, row.Bookmark);
    if (st.exec() != 1)
        throw EInvexaError("That row no longer exists");
    if (current_.Bookmark == row.Bookmark)
        current_ = row;
} catch (...) {
    db_.Rethrow();
}

void TResultsTable::InsertRow(TResultRow &row) try {
    RequireActive();
    SQLite::Statement &st = st_->Insert(1);
    st.reset();
    BindRow(st, row, st_->Scratch);
    st.exec();
    row.Bookmark = db_.Connection().getLastInsertRowid();
} catch (...) {
    db_.Rethrow();
}

void TResultsTable::DeleteRow(std::int64_t bookmark) try {
    RequireActive();
    SQLite::Statement st(db_.Connection(), "DELETE FROM Results WHERE rowid = ?");
    st.bind(1, bookmark);
    if (st.exec() != 1)
        throw EInvexaError("That row no longer exists");
    if (current_.Bookmark == bookmark)
        current_.Bookmark = 0;
} catch (...) {
    db_.Rethrow();
}

bool TResultsTable::UpdateRowIfUnchanged(const TResultRow &row, const TResultRow &shown, std::int64_t seen) try {
    RequireActive();
    if (db_.DataVersion() != seen) {
        // Only this row matters: it is written when it still holds what the grid showed.
        TResultRow now;
        if (ReadOne("WHERE rowid = ?", shown.Bookmark, now) && !(now == shown))
            return false;
    }
    UpdateRow(row);
    return true;
} catch (...) {
    db_.Rethrow();
}

std::optional<TResultRow> TResultsTable::DeleteIfUnchanged(std::int64_t bookmark, std::int64_t seen) try {
    RequireActive();
    if (db_.DataVersion() != seen)
        return std::nullopt;
    GotoBookmark(bookmark);
    TResultRow gone = current_;
    Delete();
    return gone;
} catch (...) {
    db_.Rethrow();
}

} // namespace invexa
