#include "data/MergePass.h"

#include "base/Cp1252.h"
#include "data/FileRemover.h"
#include "data/FolderHold.h"
#include "data/results.h"

#include <SQLiteCpp/Database.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <utility>

namespace fs = std::filesystem;

namespace invexa {
namespace {

// Free bookmarks left before an appended user's rows: room for the previous user's next scan to grow into, and
// for new users that come between the two in name order. Unused bookmarks cost nothing (a bookmark is a number,
// and the table holds rows, not numbers), so the room is generous: three times the rows, and more.
std::int64_t GapAfter(std::int64_t rows) {
    return 64 + 2 * rows;
}

bool Vanished(const std::string &path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

std::vector<std::string> StoredUsers(const std::vector<std::string> &names) {
    std::vector<std::string> users;
    users.reserve(names.size());
    for (const std::string &name : names)
        users.push_back(CutToWidth(TDataFileMerge::UserNameOf(name), FieldWidth(TField::UserName)));
    return users;
}

} // namespace

TMergePass::TMergePass(TDataModule1 &dm, TMergeSummary &summary, TFileRemover &remover, std::vector<std::string> names)
    : dm_(dm), summary_(summary), remover_(remover), names_(std::move(names)), users_(StoredUsers(names_)),
      times_(dm.database.Connection()), tail_(dm), batch_(dm.database.Connection(), remover, summary.Merged,
                                                          TDataFileMerge::BatchFileLimit(), TDataFileMerge::BatchRows) {
    // Reading ahead holds a few more files open: only when the open-file limit leaves room for full batches.
    if (batch_.FileLimit() < TDataFileMerge::BatchFiles || names_.size() < 2)
        return;
    std::vector<std::string> paths;
    std::vector<bool> skip;
    for (const std::string &name : names_) {
        paths.push_back((fs::path(summary_.DataFolder) / name).string());
        skip.push_back(!TDataFileMerge::UserNameFits(name));
    }
    ahead_ = std::make_unique<TReadAhead>(std::move(paths), std::move(skip));
}

bool TMergePass::Merge(std::size_t i) {
    const std::string &name = names_[i];
    const std::string path = (fs::path(summary_.DataFolder) / name).string();
    TPendingFile pending;
    try {
        if (!TDataFileMerge::UserNameFits(name))
            throw EFileRefused("Cannot merge " + Shown(path) +
                               ": the user name has characters the scanners' Windows-1252 text cannot hold");
        if (batch_.FileLimit() == 0)
            throw EOutOfFiles(std::strerror(EMFILE), EMFILE);
        pending.file = Open(i, path);
        if (!pending.file) {
            KeepOldRows(i);
            return true;
        }
        pending.info.FileName = name;
        pending.info.UserName = users_[i];
        Place(i, pending);
        rowsPlaced_ += pending.info.Records;
        times_.Record(Cp1252ToUtf8(pending.info.UserName), pending.file->ModifiedTime(), std::time(nullptr));
        batch_.Add(std::move(pending));
    } catch (const EOutOfFiles &e) {
        Stop(i, e.Errno);
        return false;
    } catch (const EFileRefused &e) {
        Refuse(i, e.what());
    }
    return true;
}

void TMergePass::Refuse(std::size_t i, const std::string &message) {
    summary_.Errors.push_back(message);
    KeepOldRows(i);
}

// Out of descriptors, every later file would fail the same way: one message for them all, and the pass ends here.
void TMergePass::Stop(std::size_t i, int error) {
    const std::string path = (fs::path(summary_.DataFolder) / names_[i]).string();
    summary_.Errors.push_back(std::string(std::strerror(error)) + ": the merge stopped at " + Shown(path) +
                              ", leaving it and the " + std::to_string(names_.size() - i - 1) +
                              " scan data file(s) after it in place");
    summary_.Left += static_cast<std::int64_t>(names_.size() - i - 1);
    for (std::size_t k = i; k < names_.size(); ++k)
        KeepOldRows(k);
}

// The file held open and locked, or none when it is gone since the listing: merged by another administrator
// started at the same time (or taken back by its scanner), so nothing is left in place and nothing is reported.
std::unique_ptr<TResultsFile> TMergePass::Open(std::size_t i, const std::string &path) {
    try {
        try {
            return ahead_ ? OpenedAhead(i) : std::make_unique<TResultsFile>(path);
        } catch (const EOutOfFiles &) {
            // The files of committed batches hold a descriptor each until the remover has deleted them: when
            // none is left, the remover is let finish, and the file is tried once more.
            remover_.Finish();
            return std::make_unique<TResultsFile>(path);
        }
    } catch (const EOutOfFiles &) {
        throw;
    } catch (const EInvexaError &e) {
        if (Vanished(path))
            return nullptr;
        unopened_.emplace_back(summary_.Errors.size(), path);
        throw EFileRefused(e.what());
    }
}

std::unique_ptr<TResultsFile> TMergePass::OpenedAhead(std::size_t i) {
    TReadFile f = ahead_->Take(i);
    if (f.openError)
        std::rethrow_exception(f.openError);
    views_ = std::move(f.records);
    readError_ = f.readError;
    readAhead_ = true;
    return std::move(f.file);
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

// The records of the file's next buffer into views_; false at its end. A malformed file is refused, after
// `undo` has taken back what was written of it.
bool TMergePass::ReadOn(TResultsFile &file, const std::function<void()> &undo) {
    try {
        if (std::exchange(readAhead_, false)) {
            if (readError_)
                std::rethrow_exception(std::exchange(readError_, nullptr));
            return true;
        }
        return file.ReadRecords(views_);
    } catch (const EInvexaError &e) {
        if (undo)
            undo();
        throw EFileRefused(e.what());
    }
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

void TMergePass::Finish(TFolderHold &folder) {
    batch_.Commit();
    remover_.Finish();
    // A file that another administrator held when we came to it has been merged and deleted by them once their
    // merge has ended: it is not left in place, and saying so would be wrong.
    if (!unopened_.empty())
        folder.WaitForOthers();
    for (auto it = unopened_.rbegin(); it != unopened_.rend(); ++it)
        if (Vanished(it->second))
            summary_.Errors.erase(summary_.Errors.begin() + static_cast<std::ptrdiff_t>(it->first));
    summary_.Errors.insert(summary_.Errors.end(), remover_.Left().begin(), remover_.Left().end());
    summary_.Left += static_cast<std::int64_t>(summary_.Errors.size());
    summary_.Deleted = remover_.Deleted();
}

} // namespace invexa
