#include "data/DataFileMerge.h"

#include "base/Cp1252.h"
#include "data/FileRemover.h"
#include "base/InvexaError.h"
#include "data/RsltsLst.h"
#include "data/ScanTimes.h"
#include "data/results.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace invexa {
namespace {

std::string LowerAscii(std::string s) {
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return s;
}

bool EndsWithIvx(const std::string &name) {
    return name.size() >= 4 && LowerAscii(name.substr(name.size() - 4)) == ".ivx";
}

// A file whose rows are in the open batch: it stays open and locked until the batch is committed, so no
// scanner can replace it between our read and its deletion.
struct TPendingFile {
    std::unique_ptr<TResultsFile> file;
    TMergedFile info;
};

// Where one file's rows go: at the end of the table, after its user's rows were removed, or over its user's old
// rows at the end of the table (see TTailRewrite).
struct TPlacement {
    bool InPlace = false;
    std::int64_t Next = 0;    // bookmark of the first row to write; afterwards, one past the last written
    std::int64_t Limit = 0;   // in place: the first bookmark the rows may not reach (0: none)
    std::int64_t OldLast = 0; // in place: the last bookmark of the user's old rows (0: it has none)
    std::int64_t Gap = 0;     // appended: bookmarks left free before the rows, for this user to grow into later
};

enum class EMerged { Done, Malformed, NoRoom };

// Removes the rows with from <= bookmark < below.
void DeleteBookmarks(SQLite::Database &db, std::int64_t from, std::int64_t below) {
    SQLite::Statement st(db, "DELETE FROM Results WHERE rowid >= ? AND rowid < ?");
    st.bind(1, from);
    st.bind(2, below);
    st.exec();
}

// Stores the file's records inside a savepoint, so that a malformed file, or one with more rows than the room
// it was given, leaves the table as it was. Errors of the table itself propagate, and the batch's transaction
// owner rolls everything back. Records go to the table in fixed-size chunks, so memory does not grow with the
// file.
EMerged MergeDataFile(TDataModule1 &dm, TResultsFile &file, TMergedFile &info, std::string &error,
                      std::vector<TResultRow> &rows, TPlacement &at) {
    SQLite::Database &db = dm.database.Connection();
    db.exec("SAVEPOINT scanfile");
    auto undo = [&] {
        db.exec("ROLLBACK TO scanfile");
        db.exec("RELEASE scanfile");
    };
    if (!at.InPlace) {
        dm.Query1.DeleteUser(info.UserName);
        // Bookmarks come nowhere near their limit unless someone stored one there by hand; then rows simply
        // follow the last one.
        const std::int64_t last = dm.resultsTbl.LastBookmark();
        at.Next = last < (std::int64_t(1) << 62) ? last + 1 + at.Gap : 0;
    }
    std::int64_t next = at.Next;
    auto post = [&](std::size_t n) {
        if (n == 0)
            return true;
        if (at.InPlace) {
            if (at.Limit && next + static_cast<std::int64_t>(n) > at.Limit)
                return false;
            dm.resultsTbl.PostRowsAt(next, rows.data(), n);
        } else if (next == at.Next && at.Next != 0) {
            // Only the first row needs its bookmark given; the others follow it at the end of the table.
            dm.resultsTbl.PostRowsAt(next, rows.data(), 1);
            dm.resultsTbl.PostRows(rows.data() + 1, n - 1);
        } else {
            dm.resultsTbl.PostRows(rows.data(), n);
        }
        next += static_cast<std::int64_t>(n);
        return true;
    };
    const std::size_t Chunk = rows.size();
    std::size_t n = 0;
    TResultsRec rec;
    while (file.Position() < file.Size()) {
        try {
            file.ReadRec(rec);
        } catch (const EInvexaError &e) {
            error = e.what();
            undo();
            return EMerged::Malformed;
        }
        TResultRow &row = rows[n];
        row.UserName = info.UserName;
        row.AppMaker.assign(CutView(rec.AppMaker, FieldWidth(TField::AppMaker)));
        row.AppName.assign(CutView(rec.AppName, FieldWidth(TField::AppName)));
        row.Version.assign(CutView(rec.Version, FieldWidth(TField::Version)));
        row.AppPath.assign(CutView(rec.AppPath, FieldWidth(TField::AppPath)));
        row.Verification = rec.Verification;
        ++info.Records;
        if (++n == Chunk) {
            if (!post(n)) {
                undo();
                return EMerged::NoRoom;
            }
            n = 0;
        }
    }
    if (!post(n)) {
        undo();
        return EMerged::NoRoom;
    }
    if (at.InPlace && at.OldLast >= next)
        DeleteBookmarks(db, next, at.OldLast + 1); // the user's old rows beyond its new ones
    db.exec("RELEASE scanfile");
    at.Next = next;
    return EMerged::Done;
}

// Deleting a user's rows costs more than writing them: every row goes from the table and from the UserName
// index, and every page it touched is journalled. When the users of the first files of a pass are the users
// whose rows end the table, in the same order (a site that re-scans the same computers), each file's rows are
// written over its user's old rows instead, front to back, and the table ends up as delete-and-append leaves
// it: the same rows in the same order, only the bookmarks differ.
//
// The tail is planned once, inside the first write transaction: the run of merge-order users, new users
// allowed, whose old rows are disjoint consecutive blocks that together make up every row after some point.
// Each planned file then writes from where its user's old rows start (when they do not fit there, from the
// first free bookmark after the rows written before it) up to the start of the next planned user's old rows;
// new users take the free bookmarks between blocks. Whenever that cannot go on (a planned file cannot be
// merged, so its user's old rows stay; a file has more rows than its room; another program wrote to the table
// between two transactions), the rows written over the tail so far are moved to the end of the table, after
// the old rows that stay, which is again exactly where delete-and-append would have put them, and every
// further file is appended. Between two commits of one pass the rows merged so far stand before the old rows
// of the users still to come rather than after them; the same rows, in another order, until the pass ends.
class TTailRewrite {
public:
    explicit TTailRewrite(TDataModule1 &dm) : dm_(dm) {}

    // Plans the rewrite for the files from `from` on, whose users (as stored) are given in merge order.
    void Plan(const std::vector<std::string> &users, std::size_t from) {
        active_ = false;
        plan_.clear();
        from_ = from;
        SQLite::Database &db = dm_.database.Connection();
        const std::int64_t last = dm_.resultsTbl.LastBookmark();
        if (last == 0)
            return;
        SQLite::Statement rowsOf(db, "SELECT count(*), coalesce(min(rowid), 0), coalesce(max(rowid), 0) FROM "
                                     "Results WHERE UserName = ?");
        std::set<std::string> seen;
        std::int64_t first = 0, count = 0;
        bool covered = false;
        for (std::size_t i = from; i < users.size() && !covered; ++i) {
            if (!seen.insert(users[i]).second)
                return; // a user's second file would replace the rows its first just wrote
            rowsOf.reset();
            rowsOf.bind(1, Cp1252ToUtf8(users[i]));
            rowsOf.executeStep();
            TEntry e{rowsOf.getColumn(0).getInt64(), rowsOf.getColumn(1).getInt64(), rowsOf.getColumn(2).getInt64(), 0};
            if (e.Count > 0) {
                if (first && e.First <= plan_.back().Last)
                    return;
                first = first ? first : e.First;
                count += e.Count;
                covered = e.Last == last;
            }
            plan_.push_back(e);
        }
        if (!covered)
            return;
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

    // At the start of each later transaction: a table another program wrote to meanwhile is not planned any more.
    void Recheck() {
        if (active_ && dm_.database.DataVersion() != version_)
            Abandon();
    }

    bool Covers(std::size_t file) const { return active_ && file >= from_ && file - from_ < plan_.size(); }
    // Whether the file's user has old rows in the tail (only for a covered file).
    bool HasOldRows(std::size_t file) const { return plan_[file - from_].Count > 0; }

    TPlacement PlacementFor(std::size_t file) const {
        const TEntry &e = plan_[file - from_];
        TPlacement at;
        at.InPlace = true;
        // A user's rows go where its old rows start, so that the free bookmarks before them stay free for the
        // user before it to grow into; a user without old rows takes the free bookmarks.
        at.Next = e.Count > 0 ? e.First : next_;
        at.Limit = e.Limit;
        at.OldLast = e.Count > 0 ? e.Last : 0;
        return at;
    }
    // The rows did not fit from where their user's old rows start: the free bookmarks before them may do.
    bool Widen(std::size_t file, TPlacement &at) const {
        if (!active_ || at.Next == next_)
            return false;
        at = PlacementFor(file);
        at.Next = next_;
        return true;
    }
    void Written(const TPlacement &at) { next_ = at.Next; }

    // Moves the rows written over the tail so far to the end of the table; from now on files are appended.
    void Abandon() {
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

private:
    struct TEntry {
        std::int64_t Count, First, Last;
        std::int64_t Limit; // where the next planned user's old rows start (0: no more)
    };

    TDataModule1 &dm_;
    std::vector<TEntry> plan_;
    std::size_t from_ = 0;
    bool active_ = false;
    std::int64_t start_ = 0, next_ = 0;
    std::int64_t version_ = 0;
};

// Free bookmarks left before an appended user's rows: room for the previous user's next scan to grow into, and
// for new users that come between the two in name order. Unused bookmarks cost nothing (a bookmark is a number,
// and the table holds rows, not numbers), so the room is generous: three times the rows, and more.
std::int64_t GapAfter(std::int64_t rows) {
    return 64 + 2 * rows;
}

// Every merge of a data folder holds the folder shared while it runs. A merge that found files held by another
// program waits, before it says they are left in place, until it alone holds the folder: every other merge has
// then ended, and a file one of them merged is gone. What is still there is held by its scanner.
class TFolderHold {
public:
    explicit TFolderHold(const std::string &folder) : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        shared_ = fd_ >= 0 && Lock(LOCK_SH);
    }
    ~TFolderHold() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFolderHold(const TFolderHold &) = delete;
    TFolderHold &operator=(const TFolderHold &) = delete;

    // Waits until no other merge of the folder is running. The shared hold is let go first, so two merges
    // that wait for each other both get there in turn.
    void WaitForOthers() {
        if (shared_ && ::flock(fd_, LOCK_UN) == 0) {
            shared_ = false;
            Lock(LOCK_EX);
        }
    }

private:
    bool Lock(int op) {
        int r;
        do
            r = ::flock(fd_, op);
        while (r != 0 && errno == EINTR);
        return r == 0;
    }
    int fd_;
    bool shared_ = false;
};

bool Vanished(const std::string &path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

} // namespace

std::int64_t TMergeSummary::Records() const {
    std::int64_t n = 0;
    for (const TMergedFile &f : Merged)
        n += f.Records;
    return n;
}

TDataFileMerge::TDataFileMerge(TDataModule1 &dm, std::string workDir, IProgress *progress)
    : dm_(dm), workDir_(std::move(workDir)), progress_(progress) {}

std::string TDataFileMerge::DataFolder(const std::string &workDir) {
    fs::path sub = fs::path(workDir) / "ivx";
    std::error_code ec;
    return fs::is_directory(sub, ec) ? sub.string() : workDir;
}

std::vector<std::string> TDataFileMerge::DataFileNames(const std::string &folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code dirEc;
        // A link is listed whatever it points at, to be refused by name when it is opened.
        if (EndsWithIvx(name) && it->symlink_status(dirEc).type() != fs::file_type::directory)
            names.push_back(std::move(name));
    }
    if (ec)
        throw EInvexaError("Cannot search " + Shown(folder) + " for scan data files: " + ec.message());
    std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        std::string la = LowerAscii(a), lb = LowerAscii(b);
        return la != lb ? la < lb : a < b;
    });
    return names;
}

std::string TDataFileMerge::UserNameOf(const std::string &fileName) {
    std::string name = fs::path(fileName).filename().string();
    name = name.size() > 4 ? name.substr(0, name.size() - 4) : std::string();
    // A share written from Windows stores names in UTF-8 here; the table holds the 8-bit text the scanners
    // know the user by. Names that are not UTF-8 are taken as 8-bit bytes already.
    return IsUtf8(name) ? Utf8ToCp1252(name) : name;
}

bool TDataFileMerge::UserNameFits(const std::string &fileName) {
    std::string name = fs::path(fileName).filename().string();
    name = name.size() > 4 ? name.substr(0, name.size() - 4) : std::string();
    return !IsUtf8(name) || Cp1252ToUtf8(Utf8ToCp1252(name)) == name;
}

int TDataFileMerge::BatchFileLimit() {
    constexpr rlim_t Reserve = 64; // the database, its journal and whatever the caller holds
    rlimit lim{};
    if (::getrlimit(RLIMIT_NOFILE, &lim) != 0)
        return 16;
    const rlim_t want = BatchFiles + Reserve;
    if (lim.rlim_cur != RLIM_INFINITY && lim.rlim_cur < 2 * want &&
        (lim.rlim_max == RLIM_INFINITY || lim.rlim_max > lim.rlim_cur)) {
        lim.rlim_cur = lim.rlim_max == RLIM_INFINITY ? 2 * want : std::min(2 * want, lim.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &lim);
        ::getrlimit(RLIMIT_NOFILE, &lim);
    }
    if (lim.rlim_cur == RLIM_INFINITY)
        return BatchFiles;
    const rlim_t limit = lim.rlim_cur >= want ? BatchFiles : lim.rlim_cur > Reserve + 16 ? lim.rlim_cur - Reserve : 16;
    // The files of a batch stay open until its commit, and those of the batch before it until the remover has
    // deleted them: room for two batches beside the descriptors the process holds already and the few SQLite
    // opens for a commit (its journal, the folder to sync it, a temporary file). None: 0.
    constexpr rlim_t Sqlite = 4;
    std::error_code ec;
    rlim_t open = 0;
    for (fs::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end; it.increment(ec))
        ++open;
    if (ec)
        return static_cast<int>(limit);
    open -= open > 0; // the listing's own
    if (lim.rlim_cur < open + Sqlite + 2)
        return 0;
    return static_cast<int>(std::min(limit, (lim.rlim_cur - open - Sqlite) / 2));
}

TMergeSummary TDataFileMerge::Run() {
    TMergeSummary summary;
    TFileRemover remover(BeforeDelete);
    try {
        Pass(summary, remover);
    } catch (const std::exception &e) {
        if (!dynamic_cast<const SQLite::Exception *>(&e) && !dynamic_cast<const EInvexaError *>(&e))
            throw;
        // Every failure of the table, wherever in the pass, reaches the user in one clear form (SQLite's "database
        // is locked" names neither the file nor the cause), saying what the commits before it kept.
        remover.Finish();
        std::string message = dm_.database.Describe(e);
        if (!summary.Merged.empty())
            message += "; before it, " + std::to_string(summary.Merged.size()) + " scan data file(s) were merged and " +
                       std::to_string(remover.Deleted()) + " of them deleted";
        throw EInvexaError(message);
    }
    return summary;
}

void TDataFileMerge::Pass(TMergeSummary &summary, TFileRemover &remover) {
    TProgressScope scope(progress_, "Merging data files...");
    summary.DataFolder = DataFolder(workDir_);
    TFolderHold folder(summary.DataFolder);
    std::vector<std::string> names = DataFileNames(summary.DataFolder);
    dm_.resultsTbl.Open();
    SQLite::Database &db = dm_.database.Connection();
    TScanTimes times(db); // each user's times go in the transaction of its rows

    const int batchFiles = BatchFileLimit();
    std::vector<TResultRow> rows(64); // reused for every file
    std::vector<TPendingFile> batch;
    std::int64_t batchRows = 0;
    // The remover outlives the transaction: on an error the batch is rolled back first, and only files of
    // committed batches were handed to the remover.
    std::optional<SQLite::Transaction> tx;
    auto commit = [&] {
        if (!tx)
            return;
        tx->commit();
        tx.reset();
        for (TPendingFile &p : batch) {
            remover.Remove(std::move(p.file));
            summary.Merged.push_back(std::move(p.info));
        }
        batch.clear();
        batchRows = 0;
    };

    std::vector<std::string> users; // as stored, in merge order
    users.reserve(names.size());
    for (const std::string &name : names)
        users.push_back(CutToWidth(UserNameOf(name), FieldWidth(TField::UserName)));
    TTailRewrite tail(dm_);
    bool planned = false;
    auto begin = [&](std::size_t file) {
        if (tx)
            return;
        tx.emplace(db, SQLite::TransactionBehavior::IMMEDIATE);
        if (!planned)
            tail.Plan(users, file);
        else
            tail.Recheck();
        planned = true;
    };
    std::int64_t lastAppended = 0; // rows of the file appended last
    auto appended = [&] {
        TPlacement at;
        at.Gap = GapAfter(lastAppended);
        return at;
    };

    // The files of committed batches hold a descriptor each until the remover has deleted them: when none is
    // left, the remover is let finish, and the file is tried once more.
    auto open = [&](const std::string &path) {
        try {
            return std::make_unique<TResultsFile>(path);
        } catch (const EOutOfFiles &) {
            remover.Finish();
            return std::make_unique<TResultsFile>(path);
        }
    };
    // A file not merged: its user's old rows stay where they are, before anything this pass writes.
    auto keepOldRows = [&](std::size_t i) {
        if (tail.Covers(i) && tail.HasOldRows(i)) {
            begin(i);
            tail.Abandon();
        }
    };

    std::vector<std::pair<std::size_t, std::string>> unopened; // index in Errors, path
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string &name = names[i];
        scope.Step(name);
        std::string path = (fs::path(summary.DataFolder) / name).string();
        if (!UserNameFits(name)) {
            summary.Errors.push_back("Cannot merge " + Shown(path) +
                                     ": the user name has characters the scanners' Windows-1252 text cannot hold");
            keepOldRows(i);
            continue;
        }
        // Out of descriptors, every later file would fail the same way: one message for them all, and the pass
        // ends here.
        auto stop = [&](int error) {
            summary.Errors.push_back(std::string(std::strerror(error)) + ": the merge stopped at " + Shown(path) +
                                     ", leaving it and the " + std::to_string(names.size() - i - 1) +
                                     " scan data file(s) after it in place");
            summary.Left += static_cast<std::int64_t>(names.size() - i - 1);
            for (std::size_t k = i; k < names.size(); ++k)
                keepOldRows(k);
        };
        if (batchFiles == 0) {
            stop(EMFILE);
            break;
        }
        TPendingFile pending;
        try {
            pending.file = open(path);
        } catch (const EOutOfFiles &e) {
            stop(e.Errno);
            break;
        } catch (const EInvexaError &e) {
            // A file gone since the listing was merged by another administrator started at the same time (or
            // taken back by its scanner): nothing is left in place, so there is nothing to report.
            if (!Vanished(path)) {
                unopened.emplace_back(summary.Errors.size(), path);
                summary.Errors.push_back(e.what());
            }
            keepOldRows(i);
            continue;
        }
        pending.info.FileName = name;
        pending.info.UserName = users[i];
        begin(i);
        TPlacement at = tail.Covers(i) ? tail.PlacementFor(i) : appended();
        std::string error;
        EMerged merged = MergeDataFile(dm_, *pending.file, pending.info, error, rows, at);
        // Rows that found no room were rolled back: the file is read again for its next place.
        auto again = [&] {
            pending.file->Rewind();
            pending.info.Records = 0;
            return MergeDataFile(dm_, *pending.file, pending.info, error, rows, at);
        };
        if (merged == EMerged::NoRoom && tail.Widen(i, at))
            merged = again();
        if (merged == EMerged::NoRoom) {
            tail.Abandon();
            at = appended();
            merged = again();
        }
        if (merged == EMerged::Malformed) {
            if (at.InPlace && tail.HasOldRows(i))
                tail.Abandon();
            summary.Errors.push_back(error);
            continue;
        }
        if (at.InPlace)
            tail.Written(at);
        else
            lastAppended = pending.info.Records;
        times.Record(Cp1252ToUtf8(pending.info.UserName), pending.file->ModifiedTime(), std::time(nullptr));
        batchRows += pending.info.Records;
        batch.push_back(std::move(pending));
        if (static_cast<int>(batch.size()) >= batchFiles || batchRows >= BatchRows)
            commit();
    }
    commit();
    remover.Finish();
    // A file that another administrator held when we came to it has been merged and deleted by them once their
    // merge has ended: it is not left in place, and saying so would be wrong.
    if (!unopened.empty())
        folder.WaitForOthers();
    for (auto it = unopened.rbegin(); it != unopened.rend(); ++it)
        if (Vanished(it->second))
            summary.Errors.erase(summary.Errors.begin() + static_cast<std::ptrdiff_t>(it->first));
    summary.Errors.insert(summary.Errors.end(), remover.Left().begin(), remover.Left().end());
    summary.Left += static_cast<std::int64_t>(summary.Errors.size());
    summary.Deleted = remover.Deleted();

    // Files stored under one user name replaced each other's rows: the cut to 16 characters, or one name written
    // in UTF-8 and in 8-bit text.
    std::map<std::string, std::vector<std::string>> sharing;
    for (const TMergedFile &f : summary.Merged)
        sharing[f.UserName].push_back(f.FileName);
    for (const TMergedFile &f : summary.Merged) {
        std::vector<std::string> &files = sharing[f.UserName];
        if (files.size() < 2)
            continue;
        std::string list;
        for (const std::string &file : files)
            list += (list.empty() ? "" : ", ") + Shown(file);
        summary.Warnings.push_back("Scan data files " + list + " share the stored user name '" + Shown(f.UserName) +
                                   "': each replaced the rows of the one before, and only those of " +
                                   Shown(files.back()) + " are kept");
        files.clear();
    }
}

} // namespace invexa
