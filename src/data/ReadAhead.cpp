#include "data/ReadAhead.h"

namespace invexa {
namespace {

TReadFile Read(const std::string &path) {
    TReadFile f;
    try {
        f.file = std::make_unique<TResultsFile>(path);
    } catch (...) {
        f.openError = std::current_exception();
        return f;
    }
    try {
        f.file->ReadRecords(f.records);
    } catch (...) {
        f.readError = std::current_exception();
    }
    return f;
}

} // namespace

TReadAhead::TReadAhead(std::vector<std::string> paths, std::vector<bool> skip)
    : paths_(std::move(paths)), skip_(std::move(skip)), worker_([this] { Work(); }) {}

TReadAhead::~TReadAhead() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    room_.notify_one();
    worker_.join();
}

void TReadAhead::Work() {
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        {
            std::unique_lock lock(mutex_);
            room_.wait(lock, [&] { return stop_ || i < wanted_ + Depth; });
            if (stop_)
                return;
            started_ = i + 1;
        }
        TReadFile f = skip_[i] ? TReadFile() : Read(paths_[i]);
        {
            std::lock_guard lock(mutex_);
            done_.emplace_back(i, std::move(f));
        }
        ready_.notify_one();
    }
}

TReadFile TReadAhead::Take(std::size_t i) {
    std::unique_lock lock(mutex_);
    for (;;) {
        while (!done_.empty() && done_.front().first < i)
            done_.pop_front();
        if (!done_.empty()) {
            TReadFile f = std::move(done_.front().second);
            done_.pop_front();
            wanted_ = i + 1;
            if (started_ <= wanted_ + Refill)
                room_.notify_one();
            return f;
        }
        wanted_ = i;
        room_.notify_one();
        ready_.wait(lock);
    }
}

} // namespace invexa
