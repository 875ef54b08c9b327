#include "data/FileRemover.h"

#include <unistd.h>

namespace invexa {

TFileRemover::~TFileRemover() { Finish(); }

void TFileRemover::Remove(std::unique_ptr<TResultsFile> file) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(file));
        if (!worker_.joinable()) {
            stop_ = false;
            worker_ = std::thread([this] { Work(); });
        }
    }
    wake_.notify_one();
}

void TFileRemover::Finish() {
    {
        std::lock_guard lock(mutex_);
        if (!worker_.joinable())
            return;
        stop_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void TFileRemover::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty())
            return; // stop_ set and nothing left
        std::unique_ptr<TResultsFile> file = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        // A scanner may have put a new scan under the same name since the read: that one stays.
        if (file->StillNamedBy(file->Path()))
            ::unlink(file->Path().c_str());
        file.reset();
        lock.lock();
    }
}

} // namespace invexa
