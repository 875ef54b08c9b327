#pragma once
#include "base/InvexaError.h"
#include "data/MergeBatch.h"
#include "data/ReadAhead.h"
#include "data/ResultRow.h"
#include "data/ScanTimes.h"
#include "data/TailRewrite.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace invexa {

class TDataModule1;
class TFileRemover;
class TFolderHold;

// A scan file the merge refuses (malformed, or a user name the table cannot hold): its message becomes the
// summary's entry for the file, which stays in place, and the pass goes on with the next file.
class EFileRefused : public EInvexaError {
public:
    using EInvexaError::EInvexaError;
};

// The steps of one merge pass over the listed files of a data folder, into a table that is open. Errors of the
// table itself propagate, and the open batch is rolled back.
class TMergePass {
public:
    TMergePass(TDataModule1 &dm, TMergeSummary &summary, TFileRemover &remover, std::vector<std::string> names);

    std::size_t Files() const { return names_.size(); }
    // Records placed so far by this pass (committed or not yet).
    std::int64_t Rows() const { return rowsPlaced_; }
    const std::string &Name(std::size_t file) const { return names_[file]; }
    // Merges one file, or refuses it; false when no file after it can be merged either and the pass ends.
    bool Merge(std::size_t file);
    // Commits the last batch, waits for the merged files' deletion and counts what was left and deleted.
    void Finish(TFolderHold &folder);

private:
    void Refuse(std::size_t file, const std::string &message);
    void Stop(std::size_t file, int error);
    std::unique_ptr<TResultsFile> Open(std::size_t file, const std::string &path);
    std::unique_ptr<TResultsFile> OpenedAhead(std::size_t file);
    void Begin(std::size_t file);
    void Place(std::size_t file, TPendingFile &pending);
    TPlacement Appended() const;
    void KeepOldRows(std::size_t file);
    bool MergeDataFile(TPendingFile &pending, TPlacement &at);
    bool ReadOn(TResultsFile &file, const std::function<void()> &undo = {});
    std::int64_t Start(const std::string &user, TPlacement &at);
    bool Again(TPendingFile &pending, TPlacement &at);
    bool Post(const std::string &user, const TPlacement &at, std::int64_t &next);

    TDataModule1 &dm_;
    TMergeSummary &summary_;
    TFileRemover &remover_;
    const std::vector<std::string> names_;
    std::vector<std::string> users_; // as stored, in merge order
    std::vector<TRecordView> views_; // the records of the file's buffer
    // With descriptors to spare, files are opened and parsed ahead; views_ then holds a file's first buffer
    // before it is read, or readError_ what that read threw.
    std::unique_ptr<TReadAhead> ahead_;
    bool readAhead_ = false;
    std::exception_ptr readError_;
    TScanTimeRecorder times_; // each user's times go in the transaction of its rows
    TTailRewrite tail_;
    bool planned_ = false;
    std::int64_t lastAppended_ = 0;                             // rows of the file appended last
    std::vector<std::pair<std::size_t, std::string>> unopened_; // index in Errors, path
    // The remover outlives the batch's transaction: on an error the batch is rolled back first, and only files
    // of committed batches were handed to the remover.
    TMergeBatch batch_;
    std::int64_t rowsPlaced_ = 0;
};

} // namespace invexa
