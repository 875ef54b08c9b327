#include "data/RowWindows.h"

#include "data/ResultsStore.h"

#include <algorithm>
#include <cstdlib>
#include <functional>

namespace invexa {

void TRowWindows::Reset() try {
    EndCountAhead(false);
    store_.Reread();
    windows_.clear();
} catch (...) {
    store_.Rethrow();
}

std::int64_t TRowWindows::Count() try {
    EndCountAhead(true);
    return store_.Count();
} catch (...) {
    store_.Rethrow();
}

std::int64_t TRowWindows::CountUpTo(std::int64_t limit) try { return store_.CountUpTo(limit); } catch (...) {
    store_.Rethrow();
}

void TRowWindows::CountAhead() {
    EndCountAhead(false);
    if (store_.CountKnown())
        return;
    if (std::function<std::int64_t()> count = store_.CountApart())
        counting_ = std::async(std::launch::async, std::move(count));
}

bool TRowWindows::CountKnown() {
    if (counting_.valid() && counting_.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        EndCountAhead(true);
    return store_.CountKnown();
}

void TRowWindows::EndCountAhead(bool keep) {
    if (!counting_.valid())
        return;
    std::future<std::int64_t> counting = std::move(counting_);
    try {
        const std::int64_t n = counting.get();
        if (keep)
            store_.TakeCount(n);
    } catch (...) {
        // A count that failed is made again by Count when asked for, which reports its error.
    }
}

const std::vector<TResultRow> &TRowWindows::Window(std::int64_t index, bool *fetched) try {
    if (fetched)
        *fetched = false;
    auto found = windows_.find(index);
    if (found != windows_.end())
        return found->second;
    while (windows_.size() >= MaxWindows) {
        auto farthest = windows_.begin();
        for (auto it = windows_.begin(); it != windows_.end(); ++it)
            if (std::llabs(it->first - index) > std::llabs(farthest->first - index))
                farthest = it;
        windows_.erase(farthest);
    }
    std::vector<TResultRow> rows;
    const std::int64_t first = store_.BookmarkAt(index * WindowRows);
    if (first != 0)
        rows = store_.ReadAfter(first - 1, WindowRows);
    if (fetched)
        *fetched = true;
    return windows_.emplace(index, std::move(rows)).first->second;
} catch (...) {
    store_.Rethrow();
}

const TResultRow *TRowWindows::RowAt(std::int64_t pos) {
    if (pos < 0)
        return nullptr;
    const auto &rows = Window(pos / WindowRows);
    const auto offset = static_cast<std::size_t>(pos % WindowRows);
    return offset < rows.size() ? &rows[offset] : nullptr;
}

std::int64_t TRowWindows::CachedPositionOf(std::int64_t bookmark, bool &exact) const {
    for (const auto &[index, rows] : windows_) {
        if (rows.empty() || bookmark < rows.front().Bookmark || bookmark > rows.back().Bookmark)
            continue;
        auto it = std::lower_bound(rows.begin(), rows.end(), bookmark,
                                   [](const TResultRow &row, std::int64_t b) { return row.Bookmark < b; });
        exact = it->Bookmark == bookmark;
        return index * WindowRows + (it - rows.begin());
    }
    return -1;
}

std::int64_t TRowWindows::PositionOf(std::int64_t bookmark) try {
    bool exact = false;
    const std::int64_t cached = CachedPositionOf(bookmark, exact);
    if (cached >= 0)
        return exact ? cached : -1;
    if (store_.Existing({bookmark}).empty())
        return -1;
    return store_.PositionOf(bookmark);
} catch (...) {
    store_.Rethrow();
}

std::int64_t TRowWindows::PositionAtOrAfter(std::int64_t bookmark) try {
    bool exact = false;
    const std::int64_t cached = CachedPositionOf(bookmark, exact);
    return cached >= 0 ? cached : store_.PositionOf(bookmark);
} catch (...) {
    store_.Rethrow();
}

std::vector<std::int64_t> TRowWindows::Existing(const std::vector<std::int64_t> &bookmarks) try {
    return store_.Existing(bookmarks);
} catch (...) {
    store_.Rethrow();
}

void TRowWindows::Written(std::int64_t pos, const TResultRow &row) {
    auto found = windows_.find(pos / WindowRows);
    const auto offset = static_cast<std::size_t>(pos % WindowRows);
    if (found != windows_.end() && offset < found->second.size())
        found->second[offset] = row;
}

void TRowWindows::Deleted(std::int64_t bookmark) {
    // A count under way may or may not have seen the change: it is dropped, and the table counted when asked.
    EndCountAhead(false);
    store_.NoteDeleted(bookmark);
    windows_.clear();
}

void TRowWindows::Appended(std::int64_t bookmark) {
    EndCountAhead(false);
    store_.NoteAppended(bookmark);
    windows_.clear();
}

std::size_t TRowWindows::CachedRows() const {
    std::size_t n = 0;
    for (const auto &[index, rows] : windows_)
        n += rows.size();
    return n;
}

} // namespace invexa
