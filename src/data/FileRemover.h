#pragma once
#include "data/RsltsLst.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace invexa {

// Deletes merged scan files beside the merge. Removing thousands of small files costs the file system about
// as much as inserting their rows, and the two need not wait for each other once the rows are committed.
// Each file is deleted only if it is still exactly what was read (TResultsFile::DeleteIfUnchanged), and is
// closed (unlocked) after. The destructor finishes the queue, so every file handed over is dealt with before
// the merge returns.
class TFileRemover {
public:
    // beforeDelete, when given, runs on the deleting thread with each file's path just before its check.
    explicit TFileRemover(std::function<void(const std::string &)> beforeDelete = {});
    ~TFileRemover();
    TFileRemover(const TFileRemover &) = delete;
    TFileRemover &operator=(const TFileRemover &) = delete;

    void Remove(std::unique_ptr<TResultsFile> file);
    // Waits until every file handed over is deleted and closed.
    void Finish();

    // Read after Finish: the files deleted, and one message for each file left because it changed since it was
    // read or another program has it open.
    std::int64_t Deleted() const { return deleted_; }
    const std::vector<std::string> &Left() const { return left_; }

private:
    void Work();
    std::function<void(const std::string &)> beforeDelete_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::unique_ptr<TResultsFile>> queue_;
    bool stop_ = false;
    std::thread worker_;
    std::int64_t deleted_ = 0;
    std::vector<std::string> left_;
};

} // namespace invexa
