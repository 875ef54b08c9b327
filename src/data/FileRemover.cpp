#include "data/FileRemover.h"

#include "base/Cp1252.h"

namespace invexa {

TFileRemover::TFileRemover(std::function<void(const std::string &)> beforeDelete)
    : beforeDelete_(std::move(beforeDelete)) {}

TFileRemover::~TFileRemover() {
    Finish();
}

void TFileRemover::Remove(std::vector<std::unique_ptr<TResultsFile>> files) {
    if (files.empty())
        return;
    {
        std::lock_guard lock(mutex_);
        for (std::unique_ptr<TResultsFile> &file : files)
            queue_.push_back(std::move(file));
        if (workers_.empty()) {
            stop_ = false;
            for (int i = 0; i < Threads; ++i)
                workers_.emplace_back([this] { Work(); });
        }
    }
    wake_.notify_all();
}

void TFileRemover::Finish() {
    {
        std::lock_guard lock(mutex_);
        if (workers_.empty())
            return;
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread &worker : workers_)
        worker.join();
    workers_.clear();
}

void TFileRemover::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty())
            return; // stop_ set and nothing left
        std::unique_ptr<TResultsFile> file = std::move(queue_.front());
        queue_.pop_front();
        const std::int64_t mine = taken_++;
        turn_.wait(lock, [&] { return done_ == mine; });
        lock.unlock();
        const std::string path = file->Path();
        if (beforeDelete_)
            beforeDelete_(path);
        // A scanner may have rewritten the file, or put a new scan under its name, since the read: that scan
        // stays for the next merge. A file the deletion itself fails on stays too, unreported, as it always has.
        const TResultsFile::EDelete outcome = file->DeleteIfUnchanged();
        lock.lock();
        ++done_;
        turn_.notify_all();
        deleted_ += outcome == TResultsFile::EDelete::Deleted;
        if (outcome == TResultsFile::EDelete::Changed)
            left_.push_back("Not deleted: " + Shown(path) + " changed after it was read; it is merged again next time");
        else if (outcome == TResultsFile::EDelete::InUse)
            left_.push_back("Not deleted: " + Shown(path) +
                            " is open for writing in another program; it is merged again next time");
        lock.unlock();
        file.reset(); // out of turn: the file system frees the deleted file's blocks
        lock.lock();
    }
}

} // namespace invexa
