#pragma once
#include "data/RsltsLst.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace invexa {

// A scan file opened and its first buffer parsed, or what stopped that.
struct TReadFile {
    std::unique_ptr<TResultsFile> file;
    std::vector<TRecordView> records; // of the first buffer; a file of up to MaxBuffer bytes whole
    std::exception_ptr openError, readError;
};

// Opens a pass's scan files and parses their first buffer on a thread of its own, a few files ahead of the merge,
// which meanwhile writes the rows of the files before: reading and parsing leave the merge's thread. Each file is
// held open and locked from then on, as if the merge had opened it.
class TReadAhead {
public:
    static constexpr std::size_t Depth = 8;
    // The merge wakes the reading thread only once this few files are left read ahead, so that each wake-up
    // reads several files instead of one.
    static constexpr std::size_t Refill = Depth / 2;

    // skip[i]: file i is not to be opened at all.
    TReadAhead(std::vector<std::string> paths, std::vector<bool> skip);
    // Stops the thread; the files read ahead and not taken are closed.
    ~TReadAhead();
    TReadAhead(const TReadAhead &) = delete;
    TReadAhead &operator=(const TReadAhead &) = delete;

    // File i, once it is ready, for i rising from call to call; files before it not taken are closed.
    TReadFile Take(std::size_t i);

private:
    void Work();

    const std::vector<std::string> paths_;
    const std::vector<bool> skip_;
    std::mutex mutex_;
    std::condition_variable ready_, room_;
    std::deque<std::pair<std::size_t, TReadFile>> done_;
    std::size_t wanted_ = 0;  // the file the merge waits for or takes next
    std::size_t started_ = 0; // the files the reading thread has begun
    bool stop_ = false;
    std::thread worker_;
};

} // namespace invexa
