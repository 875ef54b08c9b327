#include "data/ResultsTable.h"

#include "base/Cp1252.h"
#include "base/InvexaError.h"
#include "data/RecordInserter.h"
#include "data/ResultsDatabase.h"
#include "data/RsltsLst.h"
#include "data/ScanTimes.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

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

// A UTF-8 table's texts are read as they lie in its pages: asked for as text, SQLite would copy each one to end it
// with a zero byte. Any other encoding is converted to UTF-8 by SQLite.
std::string_view StoredText(sqlite3_stmt *st, int col, bool utf8) {
    if (!utf8) {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(st, col));
        return text ? std::string_view(text) : std::string_view();
    }
    const auto *bytes = static_cast<const char *>(sqlite3_column_blob(st, col));
    if (!bytes)
        return {};
    const std::string_view text(bytes, static_cast<std::size_t>(sqlite3_column_bytes(st, col)));
    return text.substr(0, text.find('\0'));
}

// Steps a walk of every row through SQLite's own calls, which a reader of millions of rows would otherwise spend
// much of its time wrapping. Answers the last row's bookmark, 0 for none.
std::int64_t StepStored(sqlite3 *db, sqlite3_stmt *st, bool utf8,
                        const std::function<void(const TStoredRow &)> &visit) {
    TStoredRow row;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        row.Bookmark = sqlite3_column_int64(st, 0);
        for (int i = 0; i < 5; ++i)
            row.Texts[i] = StoredText(st, i + 1, utf8);
        row.Verification = sqlite3_column_int64(st, 6);
        visit(row);
    }
    if (rc != SQLITE_DONE)
        throw SQLite::Exception(db, rc);
    return row.Bookmark;
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

const std::string InsertSql =
    "INSERT INTO Results (UserName, AppMaker, AppName, Version, AppPath, Verification) VALUES (?, ?, ?, ?, ?, ?)";

} // namespace

struct TResultsTable::TStatements {
    explicit TStatements(SQLite::Database &db)
        : Records(db), Insert(db, InsertSql), Last(db, "SELECT coalesce(max(rowid), 0) FROM Results") {}

    TRecordInserter Records;
    SQLite::Statement Insert, Last;
    std::string Scratch[5];
    std::unique_ptr<SQLite::Statement> Stream; // the cursor's walk, while it lasts
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

void TResultsTable::WalkStored(const std::function<void(const TStoredRow &)> &visit) try {
    RequireActive();
    EndStream();
    SQLite::Database &connection = db_.Connection();
    const bool utf8 = connection.execAndGet("PRAGMA encoding").getString() == "UTF-8";
    sqlite3 *db = connection.getHandle();
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db, (SelectAll + " ORDER BY rowid").c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throw SQLite::Exception(db);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> st(raw, sqlite3_finalize);
    const std::int64_t last = StepStored(db, raw, utf8, visit);
    st.reset();
    current_ = TResultRow();
    if (last != 0)
        ReadOne("WHERE rowid = ?", last, current_); // none current when another program removed it since
    eof_ = true;
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

void TResultsTable::SetCurrent(std::string_view user, const TRecordView &last, std::int64_t bookmark) {
    current_.Bookmark = bookmark;
    current_.SetText(TField::UserName, user);
    current_.SetText(TField::AppMaker, last.AppMaker);
    current_.SetText(TField::AppName, last.AppName);
    current_.SetText(TField::Version, last.Version);
    current_.SetText(TField::AppPath, last.AppPath);
    current_.Verification = last.Verification;
    eof_ = false;
}

bool TResultsTable::BeginPost(std::size_t n) {
    RequireActive();
    if (n > 0)
        EndStream();
    return n > 0;
}

void TResultsTable::PostRecords(std::string_view user, const TRecordView *records, std::size_t n) {
    if (!BeginPost(n))
        return;
    st_->Records.Append(Cp1252ToUtf8(CutView(user, FieldWidth(TField::UserName))), records, n);
    SetCurrent(user, records[n - 1], db_.Connection().getLastInsertRowid());
}

void TResultsTable::PostRecordsAt(std::int64_t first, std::string_view user, const TRecordView *records,
                                  std::size_t n) {
    if (!BeginPost(n))
        return;
    if (!st_->Records.StoreAt(first, Cp1252ToUtf8(CutView(user, FieldWidth(TField::UserName))), records, n))
        throw EInvexaError("Cannot store rows from bookmark " + std::to_string(first) +
                           " on: a bookmark holds another user's row");
    SetCurrent(user, records[n - 1], first + static_cast<std::int64_t>(n) - 1);
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
    SQLite::Statement &st = st_->Insert;
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
