#include "cli/TerminalProgress.h"

#include "base/Cp1252.h"

namespace invexa {

void TTerminalProgress::Start(const std::string &headline) { headline_ = headline; }

void TTerminalProgress::Step(const std::string &item) {
    if (!terminal_)
        return;
    // \x1b[K clears what a longer previous name left on the line.
    out_ << '\r' << headline_ << ' ' << Shown(item) << "\x1b[K" << std::flush;
    shown_ = true;
}

void TTerminalProgress::Finish() {
    if (shown_)
        out_ << "\r\x1b[K" << std::flush;
    shown_ = false;
}

} // namespace invexa
