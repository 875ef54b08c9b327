#pragma once
#include "base/Progress.h"
#include "data/Catalogue.h"
#include "data/ResultRow.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace invexa {

struct TMergeSummary;
struct TStoredRow;

// What the window and the tool do with the results table, whichever database holds it: Results.sqlite in the
// working folder, or a PostgreSQL server shared by a whole organisation. Rows come and go as TResultRow (texts
// Windows-1252); every error leaves in the user's words, a message about the store itself naming where it is.
class TResultsStore {
public:
    virtual ~TResultsStore() = default;

    // Where the table is, for messages: the file's path or the server (never a password).
    virtual std::string Where() const = 0;
    // The message the user sees for an error of this store.
    virtual std::string Describe(const std::exception &e) const = 0;
    // Throws the exception being handled in the user's words (Describe's).
    [[noreturn]] void Rethrow() const;
    // Creates the empty table; false (and nothing changed) when it is there.
    virtual bool Init() = 0;

    // Merges the scan data files of the work folder (its ivx sub-folder when there is one); the store is open
    // afterwards. beforeDelete is a test's seam, as TDataFileMerge's BeforeDelete.
    virtual TMergeSummary Merge(const std::string &workDir, IProgress *progress,
                                const std::function<void(const std::string &)> &beforeDelete = {}) = 0;

    // The grid's binding: the rows show only while it is open. Reading a closed store throws "Cannot perform
    // this operation on a closed dataset".
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual bool Active() const = 0;

    // Keyed windows for the grid, in natural order. Reread forgets any positions kept and takes the state the
    // guarded writes below are checked against.
    virtual void Reread() = 0;
    virtual std::int64_t Count() = 0;
    // The rows counted up to limit, reading no more of the table than that: a figure below limit is the count.
    virtual std::int64_t CountUpTo(std::int64_t limit) { return std::min(Count(), limit); }
    // Whether Count answers without counting.
    virtual bool CountKnown() const { return true; }
    // A count of the whole table that runs on another thread through a connection of its own, so that a grid
    // can show its first rows meanwhile; empty when the store counts only on its own connection. Its figure is
    // handed back with TakeCount, unless the grid changed the table since it began.
    virtual std::function<std::int64_t()> CountApart() { return {}; }
    virtual void TakeCount(std::int64_t) {}
    // The bookmark of the row at a position, 0 past the end; the position of a bookmark (the rows before it).
    virtual std::int64_t BookmarkAt(std::int64_t pos) = 0;
    virtual std::int64_t PositionOf(std::int64_t bookmark) = 0;
    // Those of the bookmarks whose rows still exist, in the given order.
    virtual std::vector<std::int64_t> Existing(const std::vector<std::int64_t> &bookmarks) = 0;
    // At most limit rows with bookmark > after, ascending.
    virtual std::vector<TResultRow> ReadAfter(std::int64_t after, int limit) = 0;
    // The grid's own delete and append below, told when the grid follows them: the count and positions kept
    // since Reread are brought up to date without reading them afresh.
    virtual void NoteDeleted(std::int64_t bookmark) = 0;
    virtual void NoteAppended(std::int64_t bookmark) = 0;

    // The grid's writes, refused when another program changed the row since the grid read it (Reread): the
    // update answers false and writes nothing; the delete answers nothing. The update throws "That row no
    // longer exists" when the row is gone.
    virtual bool UpdateRowIfUnchanged(const TResultRow &row, const TResultRow &shown) = 0;
    virtual std::optional<TResultRow> DeleteIfUnchanged(const TResultRow &shown) = 0;
    // Stores row at the end of the table and sets its bookmark.
    virtual void InsertRow(TResultRow &row) = 0;
    // Removes every row of one application (Windows-1252 texts); answers how many.
    virtual std::int64_t DeleteApplication(const std::string &maker, const std::string &appName) = 0;
    // Removes every row and scan time; the store is closed afterwards.
    virtual void Empty() = 0;

    // The export's stream: every row in natural order, as stored (UTF-8), each handed over as it is read.
    virtual void WalkStored(const std::function<void(const TStoredRow &)> &visit) = 0;

    // The catalogue's counts and look-ups, with TCatalogue's results and order; their texts are UTF-8, as the
    // table holds them.
    virtual TCatalogue::TCounts CatalogueCounts(const std::atomic<bool> *cancel = nullptr) = 0;
    virtual std::vector<std::string> Users(const std::string &maker, const std::string &appName,
                                           const std::optional<std::string> &version) = 0;
    virtual std::vector<TComputerLine> Computers() = 0;
};

} // namespace invexa
