// The model's window on the table: which rows the view is given, how positions map to its rows, and the count.
#include "forms/ResultsModel.h"

#include <QTimer>

#include <algorithm>
#include <climits>

// The first rows are shown from a count up to the window's size; a larger table is counted meanwhile.
void TResultsModel::WatchCount() {
    base_ = 0;
    firstRows_ = 0;
    if (!active_)
        return;
    firstRows_ = windows_.CountUpTo(Span + 1);
    if (firstRows_ > Span) {
        windows_.CountAhead();
        countWatch_->start();
    }
}

std::int64_t TResultsModel::WindowRows() const {
    if (!windows_.CountKnown())
        return std::min(firstRows_, Span);
    return std::clamp<std::int64_t>(windows_.Count() - base_, 0, Span);
}

bool TResultsModel::Windowed() const {
    return active_ && (base_ > 0 || !windows_.CountKnown() || windows_.Count() > Span);
}

std::int64_t TResultsModel::CountSoFar() const {
    if (!active_)
        return 0;
    return windows_.CountKnown() ? windows_.Count() : firstRows_;
}

bool TResultsModel::AtEnd() const {
    return !Windowed() || base_ + WindowRows() >= StoredCount();
}

std::int64_t TResultsModel::BaseWithin(std::int64_t base) const {
    return std::clamp<std::int64_t>(base, 0, std::max<std::int64_t>(0, StoredCount() - Span));
}

void TResultsModel::ShiftTo(std::int64_t base) {
    if (!active_)
        return;
    base = BaseWithin(base);
    if (base == base_)
        return;
    beginResetModel();
    base_ = base;
    ClearEdit();
    indicatorRow_ = -1;
    endResetModel();
}

void TResultsModel::ShowAfresh() {
    beginResetModel();
    texts_.clear();
    base_ = BaseWithin(base_);
    ClearEdit();
    indicatorRow_ = -1;
    endResetModel();
}

int TResultsModel::rowCount(const QModelIndex &parent) const {
    if (parent.isValid() || !active_)
        return 0;
    std::int64_t n = 0;
    try {
        n = WindowRows();
    } catch (const std::exception &error) {
        ReportReadFailure(error);
        return isNew_ ? 1 : 0;
    }
    n += isNew_ ? 1 : 0;
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

std::int64_t TResultsModel::StoredCount() const {
    return active_ ? windows_.Count() : 0;
}

int TResultsModel::RowOfBookmark(std::int64_t bookmark) const {
    if (!active_ || bookmark == 0)
        return -1;
    try {
        const std::int64_t pos = windows_.PositionOf(bookmark);
        if (pos < base_ || pos - base_ >= WindowRows())
            return -1; // gone, or outside the window
        return RowOfPos(pos);
    } catch (const std::exception &error) {
        ReportReadFailure(error);
        return -1;
    }
}

int TResultsModel::RowAtOrAfter(std::int64_t bookmark) const {
    const int n = rowCount();
    if (n == 0)
        return -1;
    return std::clamp(RowOfPos(windows_.PositionAtOrAfter(bookmark)), 0, n - 1);
}

std::int64_t TResultsModel::PositionAtOrAfter(std::int64_t bookmark) const {
    const std::int64_t n = StoredCount();
    return n == 0 ? -1 : std::min(windows_.PositionAtOrAfter(bookmark), n - 1);
}
