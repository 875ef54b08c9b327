#include "data/TailRewrite.h"

#include "base/Cp1252.h"
#include "data/results.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <set>

namespace invexa {

void TTailRewrite::Plan(const std::vector<std::string> &users, std::size_t from) {
    active_ = false;
    plan_.clear();
    from_ = from;
    std::int64_t first = 0, count = 0;
    if (!PlanBlocks(users, first, count))
        return;
    SQLite::Database &db = dm_.database.Connection();
    SQLite::Statement tail(db, "SELECT count(*) FROM Results WHERE rowid >= ?");
    tail.bind(1, first);
    tail.executeStep();
    if (tail.getColumn(0).getInt64() != count)
        return; // rows of other users lie between the blocks
    SQLite::Statement before(db, "SELECT coalesce(max(rowid), 0) FROM Results WHERE rowid < ?");
    before.bind(1, first);
    before.executeStep();
    start_ = next_ = before.getColumn(0).getInt64() + 1;
    std::int64_t limit = 0;
    for (auto e = plan_.rbegin(); e != plan_.rend(); ++e) {
        e->Limit = limit;
        if (e->Count > 0)
            limit = e->First;
    }
    version_ = dm_.database.DataVersion();
    active_ = true;
}

// Collects the users' old rows, from the file `from_` on, until a block ends the table: true when the blocks
// come one after another in merge order and the last one ends the table; `first` is where the first starts and
// `count` how many rows they hold.
bool TTailRewrite::PlanBlocks(const std::vector<std::string> &users, std::int64_t &first, std::int64_t &count) {
    const std::int64_t last = dm_.resultsTbl.LastBookmark();
    if (last == 0)
        return false;
    SQLite::Statement rowsOf(dm_.database.Connection(), "SELECT count(*), coalesce(min(rowid), 0), "
                                                        "coalesce(max(rowid), 0) FROM Results WHERE UserName = ?");
    std::set<std::string> seen;
    bool covered = false;
    for (std::size_t i = from_; i < users.size() && !covered; ++i) {
        if (!seen.insert(users[i]).second)
            return false; // a user's second file would replace the rows its first just wrote
        rowsOf.reset();
        rowsOf.bind(1, Cp1252ToUtf8(users[i]));
        rowsOf.executeStep();
        TEntry e{rowsOf.getColumn(0).getInt64(), rowsOf.getColumn(1).getInt64(), rowsOf.getColumn(2).getInt64(), 0};
        if (e.Count > 0) {
            if (first && e.First <= plan_.back().Last)
                return false;
            first = first ? first : e.First;
            count += e.Count;
            covered = e.Last == last;
        }
        plan_.push_back(e);
    }
    return covered;
}

void TTailRewrite::Recheck() {
    if (active_ && dm_.database.DataVersion() != version_)
        Abandon();
}

TPlacement TTailRewrite::PlacementFor(std::size_t file) const {
    const TEntry &e = plan_[file - from_];
    TPlacement at;
    at.InPlace = true;
    // A user's rows go where its old rows start, so that the free bookmarks before them stay free for the user
    // before it to grow into; a user without old rows takes the free bookmarks.
    at.Next = e.Count > 0 ? e.First : next_;
    at.Limit = e.Limit;
    at.OldLast = e.Count > 0 ? e.Last : 0;
    return at;
}

bool TTailRewrite::Widen(std::size_t file, TPlacement &at) const {
    if (!active_ || at.Next == next_)
        return false;
    at = PlacementFor(file);
    at.Next = next_;
    return true;
}

void TTailRewrite::Abandon() {
    if (!active_)
        return;
    active_ = false;
    if (next_ == start_)
        return;
    SQLite::Database &db = dm_.database.Connection();
    SQLite::Statement move(db, "INSERT INTO Results (UserName, AppMaker, AppName, Version, AppPath, Verification) "
                               "SELECT UserName, AppMaker, AppName, Version, AppPath, Verification FROM Results "
                               "WHERE rowid >= ? AND rowid < ? ORDER BY rowid");
    move.bind(1, start_);
    move.bind(2, next_);
    move.exec();
    DeleteBookmarks(db, start_, next_);
}

void TTailRewrite::DeleteBookmarks(SQLite::Database &db, std::int64_t from, std::int64_t below) {
    SQLite::Statement st(db, "DELETE FROM Results WHERE rowid >= ? AND rowid < ?");
    st.bind(1, from);
    st.bind(2, below);
    st.exec();
}

} // namespace invexa
