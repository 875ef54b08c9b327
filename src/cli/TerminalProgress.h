#pragma once
#include "base/Progress.h"

#include <ostream>

namespace invexa {

// The progress of long work as one line rewritten in place on a terminal; silent elsewhere.
class TTerminalProgress : public IProgress {
public:
    TTerminalProgress(std::ostream &out, bool terminal) : out_(out), terminal_(terminal) {}
    void Start(const std::string &headline) override;
    void Step(const std::string &item) override;
    void Finish() override;

private:
    std::ostream &out_;
    bool terminal_;
    std::string headline_;
    bool shown_ = false;
};

} // namespace invexa
