#pragma once
#include "data/RsltsLst.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace invexa {

// Deletes merged scan files beside the merge. Removing thousands of small files costs the file system about
// as much as inserting their rows, and the two need not wait for each other once the rows are committed.
// Each file is deleted only if its path still names the file that was read, and is closed (unlocked) after.
// The destructor finishes the queue, so every file handed over is dealt with before the merge returns.
class TFileRemover {
public:
    TFileRemover() = default;
    ~TFileRemover();
    TFileRemover(const TFileRemover &) = delete;
    TFileRemover &operator=(const TFileRemover &) = delete;

    void Remove(std::unique_ptr<TResultsFile> file);
    // Waits until every file handed over is deleted and closed.
    void Finish();

private:
    void Work();
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::unique_ptr<TResultsFile>> queue_;
    bool stop_ = false;
    std::thread worker_;
};

} // namespace invexa
