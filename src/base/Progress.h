#pragma once
#include <cstdint>
#include <string>

namespace invexa {

// Long work reports itself through this: the progress window and the tool's terminal line implement it.
class IProgress {
public:
    virtual ~IProgress() = default;
    // Shows the headline with an empty item line.
    virtual void Start(const std::string &headline) = 0;
    // Shows the item being worked on (8-bit text as stored).
    virtual void Step(const std::string &item) = 0;
    // How far the work is: items done of total, and the rows they held. Optional for a display.
    virtual void Count(std::int64_t /*done*/, std::int64_t /*total*/, std::int64_t /*rows*/) {}
    virtual void Finish() = 0;
};

// Calls Finish on every path out of a scope that called Start.
class TProgressScope {
public:
    TProgressScope(IProgress *progress, const std::string &headline) : progress_(progress) {
        if (progress_)
            progress_->Start(headline);
    }
    ~TProgressScope() {
        if (progress_)
            progress_->Finish();
    }
    void Step(const std::string &item) {
        if (progress_)
            progress_->Step(item);
    }
    void Count(std::int64_t done, std::int64_t total, std::int64_t rows) {
        if (progress_)
            progress_->Count(done, total, rows);
    }
    TProgressScope(const TProgressScope &) = delete;
    TProgressScope &operator=(const TProgressScope &) = delete;

private:
    IProgress *progress_;
};

} // namespace invexa
