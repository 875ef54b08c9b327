#include "cli/TerminalProgress.h"

#include "base/Cp1252.h"

#include <cstdio>

namespace invexa {
namespace {

// 1234567 -> "1,234,567".
std::string Grouped(std::int64_t n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0 && digits[i - 1] != '-')
            out += ',';
        out += digits[i];
    }
    return out;
}

std::string Duration(double seconds) {
    const auto s = static_cast<long long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

} // namespace

std::string TTerminalProgress::Line(std::int64_t done, std::int64_t total, std::int64_t rows, double elapsed) {
    constexpr int Width = 20;
    const int filled = total > 0 ? static_cast<int>(done * Width / total) : 0;
    std::string line = "[" + std::string(filled, '#') + std::string(Width - filled, '.') + "] " + Grouped(done) + "/" +
                       Grouped(total) + " files, " + Grouped(rows) + " rows";
    // A rate needs some work behind it; before that it would only be noise.
    if (done > 0 && elapsed > 0.2) {
        const double rate = done / elapsed;
        line +=
            ", " + Grouped(static_cast<std::int64_t>(rate)) + " files/s, " + Duration((total - done) / rate) + " left";
    }
    return line;
}

void TTerminalProgress::Start(const std::string &headline) {
    headline_ = headline;
    started_ = TClock::now();
}

void TTerminalProgress::Count(std::int64_t done, std::int64_t total, std::int64_t rows) {
    done_ = done;
    total_ = total;
    rows_ = rows;
}

void TTerminalProgress::Step(const std::string &item) {
    if (!terminal_)
        return;
    // Redrawn at most ten times a second: a terminal cannot keep up with thousands of small files a second.
    const TClock::time_point now = TClock::now();
    if (shown_ && now - drawn_ < std::chrono::milliseconds(100))
        return;
    drawn_ = now;
    const double elapsed = std::chrono::duration<double>(now - started_).count();
    // \x1b[K clears what a longer previous line left.
    out_ << '\r' << headline_ << ' ' << Line(done_, total_, rows_, elapsed) << "  " << Shown(item) << "\x1b[K"
         << std::flush;
    shown_ = true;
}

void TTerminalProgress::Finish() {
    if (shown_)
        out_ << "\r\x1b[K" << std::flush;
    shown_ = false;
}

} // namespace invexa
