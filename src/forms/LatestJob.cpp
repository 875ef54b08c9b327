#include "forms/LatestJob.h"

TLatestJob::TLatestJob() : thread_([this] { Loop(); }) {}

TLatestJob::~TLatestJob() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        cancel_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void TLatestJob::Request(TWork work) {
    {
        std::lock_guard lock(mutex_);
        pending_ = std::move(work);
        cancel_ = true;
    }
    wake_.notify_one();
}

void TLatestJob::Loop() {
    for (;;) {
        TWork work;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || pending_; });
            if (stop_)
                return;
            work = std::move(*pending_);
            pending_.reset();
            cancel_ = false;
        }
        work(cancel_);
    }
}
