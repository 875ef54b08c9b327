#include "data/ScanFilePass.h"

#include "base/Cp1252.h"
#include "data/DataFileMerge.h"
#include "data/FileRemover.h"
#include "data/FolderHold.h"
#include "data/ResultRow.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace invexa {
namespace {

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

TScanFilePass::TScanFilePass(TMergeSummary &summary, TFileRemover &remover, std::vector<std::string> names)
    : summary_(summary), remover_(remover), names_(std::move(names)), users_(StoredUsers(names_)),
      fileLimit_(TDataFileMerge::BatchFileLimit()) {
    // Reading ahead holds a few more files open: only when the open-file limit leaves room for full batches.
    if (fileLimit_ < TDataFileMerge::BatchFiles || names_.size() < 2)
        return;
    std::vector<std::string> paths;
    std::vector<bool> skip;
    for (const std::string &name : names_) {
        paths.push_back((fs::path(summary_.DataFolder) / name).string());
        skip.push_back(!TDataFileMerge::UserNameFits(name));
    }
    ahead_ = std::make_unique<TReadAhead>(std::move(paths), std::move(skip));
}

TScanFilePass::~TScanFilePass() = default;

bool TScanFilePass::Merge(std::size_t i) {
    const std::string &name = names_[i];
    const std::string path = (fs::path(summary_.DataFolder) / name).string();
    TPendingFile pending;
    try {
        if (!TDataFileMerge::UserNameFits(name))
            throw EFileRefused("Cannot merge " + Shown(path) +
                               ": the user name has characters the scanners' Windows-1252 text cannot hold");
        if (fileLimit_ == 0)
            throw EOutOfFiles(std::strerror(EMFILE), EMFILE);
        pending.file = Open(i, path);
        if (!pending.file) {
            KeepOldRows(i);
            return true;
        }
        pending.info.FileName = name;
        pending.info.UserName = users_[i];
        Take(i, pending);
        rowsPlaced_ += pending.info.Records;
        Batch().Add(std::move(pending));
    } catch (const EOutOfFiles &e) {
        Stop(i, e.Errno);
        return false;
    } catch (const EFileRefused &e) {
        Refuse(i, e.what());
    }
    return true;
}

void TScanFilePass::Refuse(std::size_t i, const std::string &message) {
    summary_.Errors.push_back(message);
    KeepOldRows(i);
}

// Out of descriptors, every later file would fail the same way: one message for them all, and the pass ends here.
void TScanFilePass::Stop(std::size_t i, int error) {
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
std::unique_ptr<TResultsFile> TScanFilePass::Open(std::size_t i, const std::string &path) {
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

std::unique_ptr<TResultsFile> TScanFilePass::OpenedAhead(std::size_t i) {
    TReadFile f = ahead_->Take(i);
    if (f.openError)
        std::rethrow_exception(f.openError);
    views_ = std::move(f.records);
    readError_ = f.readError;
    readAhead_ = true;
    return std::move(f.file);
}

bool TScanFilePass::ReadOn(TResultsFile &file, const std::function<void()> &undo) {
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

void TScanFilePass::Finish(TFolderHold &folder) {
    Batch().Commit();
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
