#include "data/DataFileMerge.h"

#include "data/Cp1252.h"
#include "data/FileRemover.h"
#include "data/InvexaError.h"
#include "data/RsltsLst.h"
#include "data/results.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <optional>
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

// Appends the file's records after removing its user's rows, inside a savepoint so that a malformed file
// leaves the table as it was. Returns false (message in error) for a malformed file; errors of the table
// itself propagate, and the batch's transaction owner rolls everything back. Records go to the table in
// fixed-size chunks, so memory does not grow with the file.
bool MergeDataFile(TDataModule1 &dm, TResultsFile &file, TMergedFile &info, std::string &error,
                   std::vector<TResultRow> &rows) {
    SQLite::Database &db = dm.database.Connection();
    db.exec("SAVEPOINT scanfile");
    dm.Query1.DeleteUser(info.UserName);
    const std::size_t Chunk = rows.size();
    std::size_t n = 0;
    TResultsRec rec;
    while (file.Position() < file.Size()) {
        try {
            file.ReadRec(rec);
        } catch (const EInvexaError &e) {
            error = e.what();
            db.exec("ROLLBACK TO scanfile");
            db.exec("RELEASE scanfile");
            return false;
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
            dm.resultsTbl.PostRows(rows.data(), n);
            n = 0;
        }
    }
    dm.resultsTbl.PostRows(rows.data(), n);
    db.exec("RELEASE scanfile");
    return true;
}

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
        if (EndsWithIvx(name) && !it->is_directory(dirEc))
            names.push_back(std::move(name));
    }
    if (ec)
        throw EInvexaError("Cannot search " + folder + " for scan data files: " + ec.message());
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

int TDataFileMerge::BatchFileLimit() {
    constexpr rlim_t Reserve = 64; // the database, its journal and whatever the caller holds
    rlimit lim{};
    if (::getrlimit(RLIMIT_NOFILE, &lim) != 0)
        return 16;
    rlim_t want = BatchFiles + Reserve;
    if (lim.rlim_cur != RLIM_INFINITY && lim.rlim_cur < want &&
        (lim.rlim_max == RLIM_INFINITY || lim.rlim_max > lim.rlim_cur)) {
        lim.rlim_cur = lim.rlim_max == RLIM_INFINITY ? want : std::min(want, lim.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &lim);
        ::getrlimit(RLIMIT_NOFILE, &lim);
    }
    if (lim.rlim_cur == RLIM_INFINITY || lim.rlim_cur >= want)
        return BatchFiles;
    return lim.rlim_cur > Reserve + 16 ? static_cast<int>(lim.rlim_cur - Reserve) : 16;
}

// A function try block: every failure of the table, wherever in the pass, reaches the user in one clear form
// (SQLite's "database is locked" names neither the file nor the cause).
TMergeSummary TDataFileMerge::Run() try {
    TProgressScope scope(progress_, "Merging data files...");
    TMergeSummary summary;
    summary.DataFolder = DataFolder(workDir_);
    std::vector<std::string> names = DataFileNames(summary.DataFolder);
    dm_.resultsTbl.Open();
    SQLite::Database &db = dm_.database.Connection();

    const int batchFiles = BatchFileLimit();
    std::vector<TResultRow> rows(64); // reused for every file
    std::vector<TPendingFile> batch;
    std::int64_t batchRows = 0;
    // Declared before the transaction: on an error the batch is rolled back first, and only files of
    // committed batches were handed to the remover.
    TFileRemover remover;
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

    std::vector<std::pair<std::size_t, std::string>> unopened; // index in Errors, path
    for (const std::string &name : names) {
        scope.Step(name);
        std::string path = (fs::path(summary.DataFolder) / name).string();
        TPendingFile pending;
        try {
            pending.file = std::make_unique<TResultsFile>(path);
        } catch (const EInvexaError &e) {
            // A file gone since the listing was merged by another administrator started at the same time (or
            // taken back by its scanner): nothing is left in place, so there is nothing to report.
            if (!Vanished(path)) {
                unopened.emplace_back(summary.Errors.size(), path);
                summary.Errors.push_back(e.what());
            }
            continue;
        }
        pending.info.FileName = name;
        pending.info.UserName = CutToWidth(UserNameOf(name), FieldWidth(TField::UserName));
        if (!tx)
            tx.emplace(db, SQLite::TransactionBehavior::IMMEDIATE);
        std::string error;
        if (!MergeDataFile(dm_, *pending.file, pending.info, error, rows)) {
            summary.Errors.push_back(error);
            continue;
        }
        batchRows += pending.info.Records;
        batch.push_back(std::move(pending));
        if (static_cast<int>(batch.size()) >= batchFiles || batchRows >= BatchRows)
            commit();
    }
    commit();
    remover.Finish();
    // A file that another administrator held when we came to it has by now mostly been merged and deleted by
    // them: it is not left in place, and saying so would be wrong.
    for (auto it = unopened.rbegin(); it != unopened.rend(); ++it)
        if (Vanished(it->second))
            summary.Errors.erase(summary.Errors.begin() + static_cast<std::ptrdiff_t>(it->first));
    return summary;
} catch (const SQLite::Exception &e) {
    throw dm_.database.Failure(e);
}

} // namespace invexa
