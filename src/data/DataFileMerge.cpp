#include "data/DataFileMerge.h"

#include "base/Cp1252.h"
#include "base/InvexaError.h"
#include "data/FileRemover.h"
#include "data/FolderHold.h"
#include "data/MergePass.h"
#include "data/results.h"

#include <SQLiteCpp/Exception.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace invexa {
namespace {

bool EndsWithIvx(const std::string &name) {
    return name.size() >= 4 && AsciiFolded(name.substr(name.size() - 4)) == ".ivx";
}

// Files stored under one user name replaced each other's rows: the cut to 16 characters, or one name written in
// UTF-8 and in 8-bit text.
void WarnOfSharedNames(TMergeSummary &summary) {
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

} // namespace

std::int64_t TMergeSummary::Records() const {
    std::int64_t n = 0;
    for (const TMergedFile &f : Merged)
        n += f.Records;
    return n;
}

TDataFileMerge::TDataFileMerge(TDataModule1 &dm, std::string workDir, IProgress *progress)
    : TDataFileMerge(
          [&dm](TMergeSummary &summary, TFileRemover &remover, std::vector<std::string> names) {
              dm.resultsTbl.Open();
              return std::make_unique<TMergePass>(dm, summary, remover, std::move(names));
          },
          [&dm](const std::exception &e) { return dm.database.Describe(e); }, std::move(workDir), progress) {}

TDataFileMerge::TDataFileMerge(TNewPass newPass, TDescribe describe, std::string workDir, IProgress *progress)
    : newPass_(std::move(newPass)), describe_(std::move(describe)), workDir_(std::move(workDir)), progress_(progress) {}

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
        // A link is listed whatever it points at, to be refused by name when it is opened. The type comes from
        // the listing itself where the file system gives it, without a call per file.
        if (EndsWithIvx(name) && (it->is_symlink(dirEc) || !it->is_directory(dirEc)))
            names.push_back(std::move(name));
    }
    if (ec)
        throw EInvexaError("Cannot search " + Shown(folder) + " for scan data files: " + ec.message());
    // Each name's key made once, not at every comparison.
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(names.size());
    for (std::string &name : names)
        keyed.emplace_back(AsciiFolded(name), std::move(name));
    std::sort(keyed.begin(), keyed.end());
    for (std::size_t i = 0; i < keyed.size(); ++i)
        names[i] = std::move(keyed[i].second);
    return names;
}

namespace {

// The file's name without its folder and its last four characters.
std::string Stem(const std::string &fileName) {
    std::string name = fs::path(fileName).filename().string();
    return name.size() > 4 ? name.substr(0, name.size() - 4) : std::string();
}

} // namespace

std::string TDataFileMerge::UserNameOf(const std::string &fileName) {
    const std::string name = Stem(fileName);
    // A share written from Windows stores names in UTF-8 here; the table holds the 8-bit text the scanners
    // know the user by. Names that are not UTF-8 are taken as 8-bit bytes already.
    return IsUtf8(name) ? Utf8ToCp1252(name) : name;
}

bool TDataFileMerge::UserNameFits(const std::string &fileName) {
    return AsCp1252(Stem(fileName)).has_value();
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
        std::string message = describe_(e);
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
    std::unique_ptr<TScanFilePass> pass = newPass_(summary, remover, std::move(names));
    const auto files = static_cast<std::int64_t>(pass->Files());
    for (std::size_t i = 0; i < pass->Files(); ++i) {
        scope.Count(static_cast<std::int64_t>(i), files, pass->Rows());
        scope.Step(pass->Name(i));
        if (!pass->Merge(i))
            break;
    }
    pass->Finish(folder);
    WarnOfSharedNames(summary);
}

} // namespace invexa
