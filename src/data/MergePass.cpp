#include "data/MergePass.h"

#include "base/Cp1252.h"
#include "data/results.h"

#include <SQLiteCpp/Database.h>

#include <ctime>
#include <functional>

namespace invexa {
namespace {

// Free bookmarks left before an appended user's rows: room for the previous user's next scan to grow into, and
// for new users that come between the two in name order. Unused bookmarks cost nothing (a bookmark is a number,
// and the table holds rows, not numbers), so the room is generous: three times the rows, and more.
std::int64_t GapAfter(std::int64_t rows) {
    return 64 + 2 * rows;
}

} // namespace

TMergePass::TMergePass(TDataModule1 &dm, TMergeSummary &summary, TFileRemover &remover, std::vector<std::string> names)
    : TScanFilePass(summary, remover, std::move(names)), dm_(dm), times_(dm.database.Connection()), tail_(dm),
      batch_(dm.database.Connection(), remover, summary.Merged, FileLimit(), TDataFileMerge::BatchRows) {}

void TMergePass::Take(std::size_t i, TPendingFile &pending) {
    Place(i, pending);
    times_.Record(Cp1252ToUtf8(pending.info.UserName), pending.file->ModifiedTime(), std::time(nullptr));
}

void TMergePass::Begin(std::size_t i) {
    if (!batch_.Begin())
        return;
    if (!planned_)
        tail_.Plan(users_, i);
    else
        tail_.Recheck();
    planned_ = true;
}

// The file's rows over its user's old rows when the tail rewrite covers it, else appended; rows that found no
// room were rolled back, and the file is read again for its next place.
void TMergePass::Place(std::size_t i, TPendingFile &pending) {
    Begin(i);
    TPlacement at = tail_.Covers(i) ? tail_.PlacementFor(i) : Appended();
    bool fitted = MergeDataFile(pending, at);
    if (!fitted && tail_.Widen(i, at))
        fitted = Again(pending, at);
    if (!fitted) {
        tail_.Abandon();
        at = Appended();
        Again(pending, at);
    }
    if (at.InPlace)
        tail_.Written(at);
    else
        lastAppended_ = pending.info.Records;
}

TPlacement TMergePass::Appended() const {
    TPlacement at;
    at.Gap = GapAfter(lastAppended_);
    return at;
}

// A file not merged: its user's old rows stay where they are, before anything this pass writes.
void TMergePass::KeepOldRows(std::size_t i) {
    if (tail_.Covers(i) && tail_.HasOldRows(i)) {
        Begin(i);
        tail_.Abandon();
    }
}

namespace {

// Whether n rows from `next` on stay below the placement's limit.
bool Fits(const TPlacement &at, std::int64_t next, std::size_t n) {
    return !at.InPlace || !at.Limit || next + static_cast<std::int64_t>(n) <= at.Limit;
}

} // namespace

// Stores the file's records, or none of them when the file is malformed (EFileRefused) or has more rows than the
// room it was given (false). A file read whole is checked whole before anything is written; a larger one is
// written a buffer at a time inside a savepoint that undoes it. Errors of the table itself propagate, and the
// batch's transaction rolls everything back.
bool TMergePass::MergeDataFile(TPendingFile &pending, TPlacement &at) {
    TResultsFile &file = *pending.file;
    ReadOn(file);
    const bool whole = file.Position() == file.Size();
    if (whole && !Fits(at, at.Next, views_.size()))
        return false;
    SQLite::Database &db = dm_.database.Connection();
    if (!whole)
        db.exec("SAVEPOINT scanfile");
    auto undo = [&] {
        if (!whole)
            db.exec("ROLLBACK TO scanfile; RELEASE scanfile");
    };
    std::int64_t next = Start(pending.info.UserName, at);
    do {
        pending.info.Records += static_cast<std::int64_t>(views_.size());
        if (!Post(pending.info.UserName, at, next)) {
            undo();
            return false;
        }
    } while (ReadOn(file, undo));
    if (at.InPlace && at.OldLast >= next)
        TTailRewrite::DeleteBookmarks(db, next, at.OldLast + 1); // the user's old rows beyond its new ones
    if (!whole)
        db.exec("RELEASE scanfile");
    at.Next = next;
    return true;
}

// Where the file's first row goes: appended rows after the user's old rows are removed and a gap is left.
std::int64_t TMergePass::Start(const std::string &user, TPlacement &at) {
    if (!at.InPlace) {
        dm_.Query1.DeleteUser(user);
        // Bookmarks come nowhere near their limit unless someone stored one there by hand; then rows simply
        // follow the last one.
        const std::int64_t last = dm_.resultsTbl.LastBookmark();
        at.Next = last < (std::int64_t(1) << 62) ? last + 1 + at.Gap : 0;
    }
    return at.Next;
}

bool TMergePass::Again(TPendingFile &pending, TPlacement &at) {
    pending.file->Rewind();
    pending.info.Records = 0;
    return MergeDataFile(pending, at);
}

// Writes the records of views_ from bookmark `next` on; false when they would reach the placement's limit.
bool TMergePass::Post(const std::string &user, const TPlacement &at, std::int64_t &next) {
    const std::size_t n = views_.size();
    if (n == 0)
        return true;
    if (!Fits(at, next, n))
        return false;
    if (at.InPlace) {
        dm_.resultsTbl.PostRecordsAt(next, user, views_.data(), n);
    } else if (next == at.Next && at.Next != 0) {
        // Only the first row needs its bookmark given; the others follow it at the end of the table.
        dm_.resultsTbl.PostRecordsAt(next, user, views_.data(), 1);
        dm_.resultsTbl.PostRecords(user, views_.data() + 1, n - 1);
    } else {
        dm_.resultsTbl.PostRecords(user, views_.data(), n);
    }
    next += static_cast<std::int64_t>(n);
    return true;
}

} // namespace invexa
