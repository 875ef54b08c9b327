#pragma once
#include "base/InvexaError.h"
#include "data/ReadAhead.h"
#include "data/RsltsLst.h"
#include "data/ScanFileBatch.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace invexa {

struct TMergeSummary;
class TFileRemover;
class TFolderHold;

// A scan file the merge refuses (malformed, or a user name the table cannot hold): its message becomes the
// summary's entry for the file, which stays in place, and the pass goes on with the next file.
class EFileRefused : public EInvexaError {
public:
    using EInvexaError::EInvexaError;
};

// One merge pass over the listed files of a data folder, whatever store takes their rows: each file is opened
// and locked (a few ahead of the merge when descriptors allow), refused and left in place when it cannot be
// merged, and handed to the store's batch, which deletes it once its rows are committed. Errors of the store
// itself propagate, and the open batch is rolled back.
class TScanFilePass {
public:
    TScanFilePass(TMergeSummary &summary, TFileRemover &remover, std::vector<std::string> names);
    virtual ~TScanFilePass();
    TScanFilePass(const TScanFilePass &) = delete;
    TScanFilePass &operator=(const TScanFilePass &) = delete;

    std::size_t Files() const { return names_.size(); }
    // Records placed so far by this pass (committed or not yet).
    std::int64_t Rows() const { return rowsPlaced_; }
    const std::string &Name(std::size_t file) const { return names_[file]; }
    // Merges one file, or refuses it; false when no file after it can be merged either and the pass ends.
    bool Merge(std::size_t file);
    // Commits the last batch, waits for the merged files' deletion and counts what was left and deleted.
    void Finish(TFolderHold &folder);

protected:
    // Writes the open file's records into the store's open batch (pending.info.Records counts them) and
    // records its user's scan times; a malformed file throws EFileRefused with nothing of it written.
    virtual void Take(std::size_t file, TPendingFile &pending) = 0;
    // A file not merged: its user's old rows stay as they are.
    virtual void KeepOldRows(std::size_t /*file*/) {}
    virtual TScanFileBatch &Batch() = 0;
    // How many files a batch may hold open.
    int FileLimit() const { return fileLimit_; }
    // The records of the file's next buffer into views_; false at its end. A malformed file is refused, after
    // `undo` has taken back what was written of it.
    bool ReadOn(TResultsFile &file, const std::function<void()> &undo = {});

    TMergeSummary &summary_;
    TFileRemover &remover_;
    const std::vector<std::string> names_;
    std::vector<std::string> users_; // as stored, in merge order
    std::vector<TRecordView> views_; // the records of the file's buffer

private:
    void Refuse(std::size_t file, const std::string &message);
    void Stop(std::size_t file, int error);
    std::unique_ptr<TResultsFile> Open(std::size_t file, const std::string &path);
    std::unique_ptr<TResultsFile> OpenedAhead(std::size_t file);

    const int fileLimit_;
    // With descriptors to spare, files are opened and parsed ahead; views_ then holds a file's first buffer
    // before it is read, or readError_ what that read threw.
    std::unique_ptr<TReadAhead> ahead_;
    bool readAhead_ = false;
    std::exception_ptr readError_;
    std::vector<std::pair<std::size_t, std::string>> unopened_; // index in Errors, path
    std::int64_t rowsPlaced_ = 0;
};

} // namespace invexa
