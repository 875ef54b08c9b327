#pragma once
#include "data/ResultRow.h"
#include "data/ResultsStore.h"
#include "pgsql/PgConnection.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace invexa {

// The results table in a PostgreSQL database: the same six columns as Results.sqlite, and a Bookmark the
// database assigns (an identity column, never reused) whose order is the rows' natural order. Rows come and go
// as TResultRow, texts Windows-1252 in memory and UTF-8 in the database, as in SQLite; scan times go in
// Scans. TPgMergeBatch writes scans, TPgRowStream streams the rows, TPgCatalogue counts them.
// Every message names the server, never a password. The operations of the product check the table's columns
// once, at the first of them.
class TPgResultsStore : public TResultsStore {
public:
    explicit TPgResultsStore(const std::string &uri) : conn_(uri) {}

    TPgConnection &Connection() { return conn_; }
    const std::string &Server() const { return conn_.Server(); }

    std::string Where() const override { return Server(); }
    std::string Describe(const std::exception &e) const override { return e.what(); }
    // Creates the tables and the UserName index where they are missing; true when the results table was made now.
    bool Init() override;
    // Refuses a database without the table or with a column missing, in the SQLite table's words.
    void CheckSchema();
    TMergeSummary Merge(const std::string &workDir, IProgress *progress,
                        const std::function<void(const std::string &)> &beforeDelete) override;

    void Open() override;
    void Close() override { active_ = false; }
    bool Active() const override { return active_; }

    // Bookmarks are never reused, so a write aimed by bookmark needs no version to be checked against; only the
    // count is read afresh.
    void Reread() override { count_ = -1; }
    // Keyed windows in natural order: at most limit rows after (or before) a bookmark, ascending either way. The
    // count is kept until Reread or a write of many rows, the grid's own writes noted in it.
    std::int64_t Count() override;
    std::vector<TResultRow> ReadAfter(std::int64_t after, int limit) override;
    std::vector<TResultRow> ReadBefore(std::int64_t before, int limit);
    std::vector<TResultRow> FirstRows(int limit) { return ReadAfter(0, limit); }
    std::vector<TResultRow> LastRows(int limit) { return ReadBefore(INT64_MAX, limit); }
    // For a scroll bar: the bookmark of the row at a position (0 past the end), and the rows before a bookmark,
    // both as of the count kept. Each walks the primary key's index from the nearer end, so costs in proportion
    // to the distance from it.
    std::int64_t BookmarkAt(std::int64_t pos) override;
    std::int64_t PositionOf(std::int64_t bookmark) override;
    std::vector<std::int64_t> Existing(const std::vector<std::int64_t> &bookmarks) override;
    void NoteDeleted(std::int64_t) override { count_ -= count_ > 0; }
    void NoteAppended(std::int64_t) override { count_ += count_ >= 0; }

    // Stores row at the end of the table and sets its bookmark.
    void InsertRow(TResultRow &row) override;
    // Writes row over the row shown (same bookmark) when that row still holds what was shown; false, and
    // nothing written, when another program changed it. Throws "That row no longer exists" when it is gone.
    bool UpdateRowIfUnchanged(const TResultRow &row, const TResultRow &shown) override;
    // Deletes the row shown when it still holds what was shown and answers it; nothing when it changed or is gone.
    // Bookmarks are never reused here, so a write aimed by bookmark can only meet the row it was aimed at or none.
    std::optional<TResultRow> DeleteIfUnchanged(const TResultRow &shown) override;
    // Removes every row whose AppMaker and AppName equal the two texts (Windows-1252); answers how many.
    std::int64_t DeleteApplication(const std::string &maker, const std::string &appName) override;
    // Removes every row and every scan time.
    void Empty() override;

    // Streams through TPgRowStream.
    void WalkStored(const std::function<void(const TStoredRow &)> &visit) override;
    TCatalogue::TCounts CatalogueCounts(const std::atomic<bool> *cancel) override;
    std::vector<std::string> Users(const std::string &maker, const std::string &appName,
                                   const std::optional<std::string> &version) override;
    std::vector<TComputerLine> Computers() override;

private:
    void Ready();
    void RequireActive() const;

    std::vector<TResultRow> ReadRows(const std::string &sql, const TPgParams &params);
    std::optional<TResultRow> LockRow(std::int64_t bookmark);

    TPgConnection conn_;
    bool checked_ = false, active_ = false;
    std::int64_t count_ = -1;
};

} // namespace invexa
