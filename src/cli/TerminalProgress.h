#pragma once
#include "base/Progress.h"

#include <chrono>
#include <ostream>

namespace invexa {

// The progress of long work as one line redrawn in place on a terminal: a bar, items done of total, rows, rate
// and time left, then the item at hand. Silent elsewhere, and gone once the work is over.
class TTerminalProgress : public IProgress {
public:
    TTerminalProgress(std::ostream &out, bool terminal) : out_(out), terminal_(terminal) {}
    void Start(const std::string &headline) override;
    void Step(const std::string &item) override;
    void Count(std::int64_t done, std::int64_t total, std::int64_t rows) override;
    void Finish() override;

    // The line shown for these counts after elapsed seconds (without the item).
    static std::string Line(std::int64_t done, std::int64_t total, std::int64_t rows, double elapsed);

private:
    using TClock = std::chrono::steady_clock;
    std::ostream &out_;
    bool terminal_;
    std::string headline_;
    bool shown_ = false;
    std::int64_t done_ = 0, total_ = 0, rows_ = 0;
    TClock::time_point started_, drawn_;
};

} // namespace invexa
