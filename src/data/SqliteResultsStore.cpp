#include "data/SqliteResultsStore.h"

#include "data/DataFileMerge.h"
#include "data/results.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace invexa {

TSqliteResultsStore::TSqliteResultsStore(TDataModule1 &dm) : dm_(dm), pager_(dm.database) {}

std::string TSqliteResultsStore::Where() const {
    return dm_.database.Path();
}

std::string TSqliteResultsStore::Describe(const std::exception &e) const {
    return dm_.database.Describe(e);
}

bool TSqliteResultsStore::Init() {
    return TResultsDatabase::Create(dm_.database.Folder());
}

TMergeSummary TSqliteResultsStore::Merge(const std::string &workDir, IProgress *progress,
                                         const std::function<void(const std::string &)> &beforeDelete) {
    TDataFileMerge merge(dm_, workDir, progress);
    merge.BeforeDelete = beforeDelete;
    return merge.Run();
}

void TSqliteResultsStore::Open() {
    dm_.resultsTbl.Open();
}

void TSqliteResultsStore::Close() {
    dm_.resultsTbl.Close();
}

bool TSqliteResultsStore::Active() const {
    return dm_.resultsTbl.Active();
}

void TSqliteResultsStore::Reread() try {
    pager_.Reset();
    if (Active())
        seen_ = dm_.database.DataVersion();
} catch (...) {
    Rethrow();
}

std::int64_t TSqliteResultsStore::Count() try { return pager_.Count(); } catch (...) {
    Rethrow();
}

std::int64_t TSqliteResultsStore::CountUpTo(std::int64_t limit) try { return pager_.CountUpTo(limit); } catch (...) {
    Rethrow();
}

std::function<std::int64_t()> TSqliteResultsStore::CountApart() {
    // Opened here, where the file was checked; only the counting thread uses it afterwards.
    std::shared_ptr<SQLite::Database> reader = dm_.database.OpenReader();
    return [reader] {
        SQLite::Statement st(*reader, "SELECT count(*) FROM Results");
        st.executeStep();
        return st.getColumn(0).getInt64();
    };
}

std::int64_t TSqliteResultsStore::BookmarkAt(std::int64_t pos) try { return pager_.RowidAt(pos); } catch (...) {
    Rethrow();
}

std::int64_t TSqliteResultsStore::PositionOf(std::int64_t bookmark) try {
    return pager_.PositionOf(bookmark);
} catch (...) {
    Rethrow();
}

std::vector<std::int64_t> TSqliteResultsStore::Existing(const std::vector<std::int64_t> &bookmarks) try {
    return pager_.Existing(bookmarks);
} catch (...) {
    Rethrow();
}

std::vector<TResultRow> TSqliteResultsStore::ReadAfter(std::int64_t after, int limit) {
    return dm_.resultsTbl.ReadAfter(after, limit);
}

void TSqliteResultsStore::NoteDeleted(std::int64_t bookmark) try { pager_.NoteDeleted(bookmark); } catch (...) {
    Rethrow();
}

void TSqliteResultsStore::NoteAppended(std::int64_t bookmark) {
    pager_.NoteAppended(bookmark);
}

bool TSqliteResultsStore::UpdateRowIfUnchanged(const TResultRow &row, const TResultRow &shown) {
    return dm_.resultsTbl.UpdateRowIfUnchanged(row, shown, seen_);
}

std::optional<TResultRow> TSqliteResultsStore::DeleteIfUnchanged(const TResultRow &shown) {
    return dm_.resultsTbl.DeleteIfUnchanged(shown.Bookmark, seen_);
}

void TSqliteResultsStore::InsertRow(TResultRow &row) {
    dm_.resultsTbl.InsertRow(row);
}

std::int64_t TSqliteResultsStore::DeleteApplication(const std::string &maker, const std::string &appName) {
    return dm_.Query1.DeleteApplication(maker, appName);
}

void TSqliteResultsStore::Empty() {
    dm_.resultsTbl.Close();
    dm_.resultsTbl.Empty();
}

void TSqliteResultsStore::WalkStored(const std::function<void(const TStoredRow &)> &visit) {
    dm_.resultsTbl.WalkStored(visit);
}

TCatalogue::TCounts TSqliteResultsStore::CatalogueCounts(const std::atomic<bool> *cancel) {
    return TCatalogue::Count(dm_.database, cancel);
}

std::vector<std::string> TSqliteResultsStore::Users(const std::string &maker, const std::string &appName,
                                                    const std::optional<std::string> &version) {
    return TCatalogue::Users(dm_.database, maker, appName, version);
}

std::vector<TComputerLine> TSqliteResultsStore::Computers() {
    return TCatalogue::Computers(dm_.database);
}

} // namespace invexa
