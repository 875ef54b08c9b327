#include "data/ResultsPager.h"

#include "data/ResultsDatabase.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <algorithm>
#include <limits>

namespace invexa {

namespace {
constexpr std::int64_t MinRowid = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t MaxRowid = std::numeric_limits<std::int64_t>::max();
} // namespace

void TResultsPager::Reset() {
    count_ = -1;
    built_ = false;
    checkpoints_.clear();
    checkpoints_.shrink_to_fit();
}

std::int64_t TResultsPager::Count() {
    if (count_ < 0) {
        SQLite::Statement st(db_.Connection(), "SELECT count(*) FROM Results");
        st.executeStep();
        count_ = st.getColumn(0).getInt64();
    }
    return count_;
}

std::int64_t TResultsPager::CountUpTo(std::int64_t limit) {
    if (count_ >= 0)
        return std::min(count_, limit);
    const std::int64_t n = CountBetween(MinRowid, MaxRowid, limit);
    if (n < limit)
        count_ = n;
    return n;
}

std::int64_t TResultsPager::StepFrom(std::int64_t firstRowid, std::int64_t offset, bool descending) {
    SQLite::Statement st(db_.Connection(),
                         descending ? "SELECT rowid FROM Results WHERE rowid <= ? ORDER BY rowid DESC LIMIT 1 OFFSET ?"
                                    : "SELECT rowid FROM Results WHERE rowid >= ? ORDER BY rowid LIMIT 1 OFFSET ?");
    st.bind(1, firstRowid);
    st.bind(2, offset);
    return st.executeStep() ? st.getColumn(0).getInt64() : 0;
}

// Rows with fromRowid <= rowid < belowRowid, counted up to limit (no limit when limit < 0).
std::int64_t TResultsPager::CountBetween(std::int64_t fromRowid, std::int64_t belowRowid, std::int64_t limit) {
    SQLite::Statement st(db_.Connection(),
                         "SELECT count(*) FROM (SELECT 1 FROM Results WHERE rowid >= ? AND rowid < ? LIMIT ?)");
    st.bind(1, fromRowid);
    st.bind(2, belowRowid);
    st.bind(3, limit);
    st.executeStep();
    return st.getColumn(0).getInt64();
}

void TResultsPager::BuildCheckpoints() {
    checkpoints_.clear();
    SQLite::Statement st(db_.Connection(), "SELECT rowid FROM Results ORDER BY rowid");
    std::int64_t pos = 0;
    while (st.executeStep()) {
        if (pos % StepRows == 0)
            checkpoints_.emplace_back(pos, st.getColumn(0).getInt64());
        ++pos;
    }
    count_ = pos;
    built_ = true;
}

std::int64_t TResultsPager::RowidAt(std::int64_t pos) {
    // The first rows are found without counting the table: a step past the end finds none.
    if (pos >= 0 && pos < StepRows)
        return StepFrom(MinRowid, pos, false);
    const std::int64_t n = Count();
    if (pos < 0 || pos >= n)
        return 0;
    if (n - 1 - pos < StepRows)
        return StepFrom(MaxRowid, n - 1 - pos, true);
    if (!built_)
        BuildCheckpoints();
    auto it = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), pos,
                               [](std::int64_t p, const TCheckpoint &cp) { return p < cp.first; });
    if (it == checkpoints_.begin())
        return StepFrom(MinRowid, pos, false);
    --it;
    return StepFrom(it->second, pos - it->first, false);
}

std::int64_t TResultsPager::PositionOf(std::int64_t rowid) {
    if (!built_) {
        // Rows near either end are found without the checkpoint scan.
        const std::int64_t before = CountBetween(MinRowid, rowid, StepRows);
        if (before < StepRows)
            return before;
        const std::int64_t from = CountBetween(rowid, MaxRowid, StepRows);
        if (from < StepRows)
            return Count() - from;
        BuildCheckpoints();
    }
    auto it = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), rowid,
                               [](std::int64_t r, const TCheckpoint &cp) { return r < cp.second; });
    if (it == checkpoints_.begin())
        return CountBetween(MinRowid, rowid, -1);
    --it;
    return it->first + CountBetween(it->second, rowid, -1);
}

std::vector<std::int64_t> TResultsPager::Existing(const std::vector<std::int64_t> &rowids) {
    std::vector<std::int64_t> kept;
    if (rowids.empty())
        return kept;
    SQLite::Statement st(db_.Connection(), "SELECT 1 FROM Results WHERE rowid = ?");
    for (std::int64_t rowid : rowids) {
        st.reset();
        st.bind(1, rowid);
        if (st.executeStep())
            kept.push_back(rowid);
    }
    return kept;
}

void TResultsPager::NoteDeleted(std::int64_t rowid) {
    if (count_ > 0)
        --count_;
    if (!built_)
        return;
    auto it = std::lower_bound(checkpoints_.begin(), checkpoints_.end(), rowid,
                               [](const TCheckpoint &cp, std::int64_t r) { return cp.second < r; });
    const bool onCheckpoint = it != checkpoints_.end() && it->second == rowid;
    for (auto later = onCheckpoint ? it + 1 : it; later != checkpoints_.end(); ++later)
        --later->first;
    if (!onCheckpoint)
        return;
    // The next row moves into the deleted row's position, so it takes over the checkpoint.
    const std::int64_t next = StepFrom(rowid, 0, false);
    if (next == 0 || (it + 1 != checkpoints_.end() && (it + 1)->second == next))
        checkpoints_.erase(it);
    else
        it->second = next;
}

void TResultsPager::NoteAppended(std::int64_t rowid) {
    if (count_ >= 0)
        ++count_;
    if (!built_ || count_ < 0)
        return;
    const std::int64_t pos = count_ - 1;
    if (checkpoints_.empty() || pos - checkpoints_.back().first >= StepRows)
        checkpoints_.emplace_back(pos, rowid);
}

} // namespace invexa
