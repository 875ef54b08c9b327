#include "data/RecordInserter.h"

#include "base/Cp1252.h"
#include "data/ResultRow.h"
#include "data/RsltsLst.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>

#include <sqlite3.h>

namespace invexa {
namespace {

std::size_t Width(TField field) {
    return static_cast<std::size_t>(FieldWidth(field));
}

// Rows under given bookmarks: a bookmark that holds a row of the same user is rewritten without touching the
// UserName index; one that holds another user's row is left alone and missing from the statement's count.
std::string Sql(bool at, std::size_t rows) {
    std::string sql = at ? "INSERT INTO Results (rowid, UserName, AppMaker, AppName, Version, AppPath, Verification) "
                           "VALUES "
                         : "INSERT INTO Results (UserName, AppMaker, AppName, Version, AppPath, Verification) VALUES ";
    const char *row = at ? "(?, ?, ?, ?, ?, ?, ?)" : "(?, ?, ?, ?, ?, ?)";
    for (std::size_t i = 0; i < rows; ++i)
        (sql += i ? "," : "") += row;
    if (at)
        sql += " ON CONFLICT DO UPDATE SET AppMaker = excluded.AppMaker, AppName = excluded.AppName, "
               "Version = excluded.Version, AppPath = excluded.AppPath, Verification = excluded.Verification "
               "WHERE UserName = excluded.UserName";
    return sql;
}

} // namespace

class TRecordInserter::TStatement {
public:
    TStatement(sqlite3 *db, const std::string &sql) {
        const int rc = sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st_, nullptr);
        if (rc != SQLITE_OK)
            throw SQLite::Exception(db, rc);
    }
    ~TStatement() { sqlite3_finalize(st_); }
    sqlite3_stmt *get() const { return st_; }

private:
    sqlite3_stmt *st_ = nullptr;
};

TRecordInserter::TRecordInserter(SQLite::Database &db) : db_(db.getHandle()) {}
TRecordInserter::~TRecordInserter() = default;

TRecordInserter::TStatement &TRecordInserter::Prepared(std::unique_ptr<TStatement> &st, bool at, std::size_t rows) {
    if (!st)
        st = std::make_unique<TStatement>(db_, Sql(at, rows));
    return *st;
}

// Binds a record's six columns in table order from parameter `first` on. ASCII is bound as it lies, other text
// converted into scratch; never NULL, so that the application delete's equality finds empty texts too.
void TRecordInserter::Bind(TStatement &st, int first, const std::string &user, const TRecordView &rec,
                           std::string *scratch) {
    static const std::size_t Widths[4] = {Width(TField::AppMaker), Width(TField::AppName), Width(TField::Version),
                                          Width(TField::AppPath)};
    const std::string_view texts[4] = {rec.AppMaker, rec.AppName, rec.Version, rec.AppPath};
    int rc = sqlite3_bind_text(st.get(), first, user.c_str(), static_cast<int>(user.size()), SQLITE_STATIC);
    for (int i = 0; i < 4 && rc == SQLITE_OK; ++i) {
        std::string_view text = texts[i].substr(0, Widths[i]);
        if (!IsAscii(text)) {
            scratch[i].clear();
            AppendCp1252AsUtf8(scratch[i], text);
            text = scratch[i];
        }
        rc = sqlite3_bind_text(st.get(), first + 1 + i, text.empty() ? "" : text.data(), static_cast<int>(text.size()),
                               SQLITE_STATIC);
    }
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_int(st.get(), first + 5, rec.Verification);
    if (rc != SQLITE_OK)
        throw SQLite::Exception(db_, rc);
}

// Steps the statement once; answers the rows it wrote.
int TRecordInserter::Run(TStatement &st) {
    const int rc = sqlite3_step(st.get());
    sqlite3_reset(st.get());
    if (rc != SQLITE_DONE)
        throw SQLite::Exception(db_, rc);
    return sqlite3_changes(db_);
}

void TRecordInserter::Append(const std::string &user, const TRecordView *records, std::size_t n) {
    for (std::size_t done = 0; done < n;) {
        const std::size_t k = std::min(ChunkRows, n - done);
        TStatement &st = Prepared(append_[k - 1], false, k);
        for (std::size_t i = 0; i < k; ++i)
            Bind(st, static_cast<int>(1 + 6 * i), user, records[done + i], scratch_ + 4 * i);
        Run(st);
        done += k;
    }
}

bool TRecordInserter::StoreAt(std::int64_t first, const std::string &user, const TRecordView *records, std::size_t n) {
    for (std::size_t done = 0; done < n;) {
        const std::size_t k = std::min(ChunkRows, n - done);
        TStatement &st = Prepared(storeAt_[k - 1], true, k);
        for (std::size_t i = 0; i < k; ++i) {
            const int at = static_cast<int>(1 + 7 * i);
            if (sqlite3_bind_int64(st.get(), at, first + static_cast<std::int64_t>(done + i)) != SQLITE_OK)
                throw SQLite::Exception(db_, SQLITE_RANGE);
            Bind(st, at + 1, user, records[done + i], scratch_ + 4 * i);
        }
        if (Run(st) != static_cast<int>(k))
            return false;
        done += k;
    }
    return true;
}

} // namespace invexa
