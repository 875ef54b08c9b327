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
//
// Two threads share the work. The files are checked and deleted strictly in the order they were handed over,
// each thread waiting for its turn, so that a merge broken off leaves the last files waiting and never one
// between deleted ones. The costly part comes after, out of turn: closing a deleted file makes the file system
// free its blocks, which mostly waits for the disk, so one thread frees a file's blocks while the other deletes
// the next.
class TFileRemover {
public:
    static constexpr int Threads = 2;

    // beforeDelete, when given, runs in turn with each file's path just before its check.
    explicit TFileRemover(std::function<void(const std::string &)> beforeDelete = {});
    ~TFileRemover();
    TFileRemover(const TFileRemover &) = delete;
    TFileRemover &operator=(const TFileRemover &) = delete;

    // Hands a committed batch's files over at once: one wake-up of the deleting threads for the whole batch.
    void Remove(std::vector<std::unique_ptr<TResultsFile>> files);
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
    std::condition_variable wake_, turn_;
    std::deque<std::unique_ptr<TResultsFile>> queue_;
    std::int64_t taken_ = 0, done_ = 0; // files taken from the queue, files checked and deleted
    bool stop_ = false;
    std::vector<std::thread> workers_;
    std::int64_t deleted_ = 0;
    std::vector<std::string> left_;
};

} // namespace invexa
