#include "forms/ResultsModel.h"

#include "base/InvexaError.h"
#include "data/results.h"
#include "forms/Cp1252Text.h"

#include <QBrush>
#include <QGuiApplication>
#include <QPalette>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <exception>

using invexa::TField;
using invexa::TResultRow;

namespace {
const QString IndicatorCurrent = QStringLiteral("\u25BA");
const QString IndicatorNew = QStringLiteral("*");
} // namespace

TResultsModel::TResultsModel(invexa::TDataModule1 &data, QObject *parent)
    : QAbstractTableModel(parent), data_(data), pager_(data.database) {
    const QPalette palette = QGuiApplication::palette();
    // The active group's colours: selected rows look the same whether or not the grid has the focus.
    selectedBase_ = palette.color(QPalette::Active, QPalette::Highlight);
    selectedText_ = palette.color(QPalette::Active, QPalette::HighlightedText);
    active_ = data_.resultsTbl.Active();
    if (active_)
        seenVersion_ = data_.database.DataVersion();
}

bool TResultsModel::ChangedElsewhere() {
    return active_ && data_.database.DataVersion() != seenVersion_;
}

// Another program (a second administrator's merge, say) may have replaced rows since the grid read them, and a
// merge reuses the bookmarks of the rows it replaces: a write aimed by bookmark at a row the grid shows could
// land on another row. The grid reads the table afresh instead, and the user does it again on what is there.
void TResultsModel::RefreshAndRefuse(const std::string &what) {
    Refresh();
    throw invexa::EInvexaError("The results table was changed by another program meanwhile. " + what +
                               "; the grid now shows the table as it is");
}

int TResultsModel::rowCount(const QModelIndex &parent) const {
    if (parent.isValid() || !active_)
        return 0;
    std::int64_t n = 0;
    try {
        n = pager_.Count();
    } catch (const std::exception &) {
        return isNew_ ? 1 : 0;
    }
    n += isNew_ ? 1 : 0;
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

int TResultsModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(std::size(invexa::DisplayFields));
}

TField TResultsModel::FieldOfColumn(int column) {
    return invexa::DisplayFields[static_cast<std::size_t>(column)];
}

bool TResultsModel::Active() const {
    return active_;
}

std::int64_t TResultsModel::StoredCount() const {
    return active_ ? pager_.Count() : 0;
}

std::size_t TResultsModel::CachedRows() const {
    std::size_t n = 0;
    for (const auto &[key, rows] : windows_)
        n += rows.size();
    return n;
}

const std::vector<TResultRow> &TResultsModel::Window(std::int64_t window) const {
    auto found = windows_.find(window);
    if (found != windows_.end())
        return found->second;
    while (windows_.size() >= MaxWindows) {
        auto farthest = windows_.begin();
        for (auto it = windows_.begin(); it != windows_.end(); ++it)
            if (std::llabs(it->first - window) > std::llabs(farthest->first - window))
                farthest = it;
        windows_.erase(farthest);
    }
    std::vector<TResultRow> rows;
    const std::int64_t first = pager_.RowidAt(window * WindowRows);
    if (first != 0)
        rows = data_.resultsTbl.ReadAfter(first - 1, WindowRows);
    return windows_.emplace(window, std::move(rows)).first->second;
}

const TResultRow *TResultsModel::RowAt(int row) const {
    if (!active_ || row < 0)
        return nullptr;
    if (row == editRow_)
        return &edit_;
    const std::int64_t pos = PosOfRow(row);
    try {
        const auto &rows = Window(pos / WindowRows);
        const auto offset = static_cast<std::size_t>(pos % WindowRows);
        return offset < rows.size() ? &rows[offset] : nullptr;
    } catch (const std::exception &) {
        // A read that fails (the file locked or gone) shows an empty row; the next command reports the error.
        return nullptr;
    }
}

QVariant TResultsModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid())
        return {};
    const TField field = FieldOfColumn(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        const TResultRow *row = RowAt(index.row());
        return row ? TCp1252Text::ToQString(row->Text(field)) : QString();
    }
    case Qt::TextAlignmentRole:
        if (field == TField::Verification)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case Qt::BackgroundRole:
    case Qt::ForegroundRole: {
        if (selected_.empty())
            return {};
        const std::int64_t bookmark = Bookmark(index.row());
        if (bookmark == 0 || !selected_.contains(bookmark))
            return {};
        return QBrush(role == Qt::BackgroundRole ? selectedBase_ : selectedText_);
    }
    default:
        return {};
    }
}

QVariant TResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < columnCount() ? QString::fromLatin1(invexa::FieldName(FieldOfColumn(section)))
                                                       : QVariant();
    if (section == indicatorRow_)
        return IsNewRow(section) ? IndicatorNew : IndicatorCurrent;
    return QString();
}

Qt::ItemFlags TResultsModel::flags(const QModelIndex &index) const {
    if (!index.isValid() || !active_)
        return Qt::NoItemFlags;
    // Not selectable for Qt: the grid keeps its own selection of bookmarks.
    return Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

std::int64_t TResultsModel::Bookmark(int row) const {
    const TResultRow *r = RowAt(row);
    return r ? r->Bookmark : 0;
}

std::string TResultsModel::Text(int row, TField field) const {
    const TResultRow *r = RowAt(row);
    return r ? r->Text(field) : std::string();
}

std::int64_t TResultsModel::CachedPositionOf(std::int64_t bookmark, bool &exact) const {
    for (const auto &[window, rows] : windows_) {
        if (rows.empty() || bookmark < rows.front().Bookmark || bookmark > rows.back().Bookmark)
            continue;
        auto it = std::lower_bound(rows.begin(), rows.end(), bookmark,
                                   [](const TResultRow &row, std::int64_t b) { return row.Bookmark < b; });
        exact = it->Bookmark == bookmark;
        return window * WindowRows + (it - rows.begin());
    }
    return -1;
}

int TResultsModel::RowOfBookmark(std::int64_t bookmark) const {
    if (!active_ || bookmark == 0)
        return -1;
    try {
        bool exact = false;
        const std::int64_t cached = CachedPositionOf(bookmark, exact);
        if (cached >= 0)
            return exact ? RowOfPos(cached) : -1;
        if (pager_.Existing({bookmark}).empty())
            return -1;
        return RowOfPos(pager_.PositionOf(bookmark));
    } catch (const std::exception &) {
        return -1;
    }
}

int TResultsModel::RowAtOrAfter(std::int64_t bookmark) const {
    const int n = rowCount();
    if (n == 0)
        return -1;
    bool exact = false;
    std::int64_t pos = CachedPositionOf(bookmark, exact);
    if (pos < 0)
        pos = pager_.PositionOf(bookmark);
    return std::min(RowOfPos(pos), n - 1);
}

QString TResultsModel::Validate(int column, const QString &text) const {
    try {
        TResultRow probe;
        probe.SetText(FieldOfColumn(column), TCp1252Text::ToBytes(text));
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

bool TResultsModel::setData(const QModelIndex &index, const QVariant &value, int role) {
    if (!index.isValid() || role != Qt::EditRole || !active_)
        return false;
    const int row = index.row();
    // The grid leaves a row before it edits another; this covers anyone who does not.
    if (editRow_ >= 0 && editRow_ != row && (modified_ || isNew_))
        return false;
    const TResultRow *current = RowAt(row);
    if (!current)
        return false;
    TResultRow changed = *current;
    try {
        changed.SetText(FieldOfColumn(index.column()), TCp1252Text::ToBytes(value.toString()));
    } catch (const invexa::EInvexaError &) {
        return false;
    }
    // An editor handing back the text it was given starts no edit.
    if (changed == *current)
        return true;
    if (editRow_ != row)
        shown_ = *current;
    edit_ = std::move(changed);
    editRow_ = row;
    modified_ = true;
    EmitRowChanged(row);
    return true;
}

void TResultsModel::EmitRowChanged(int row) {
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, row, row);
}

void TResultsModel::ClearEdit() {
    editRow_ = -1;
    isNew_ = false;
    modified_ = false;
    edit_ = TResultRow();
}

void TResultsModel::InsertNewRow(int row) {
    if (!active_ || editRow_ >= 0)
        return;
    row = std::clamp(row, 0, rowCount());
    beginInsertRows(QModelIndex(), row, row);
    editRow_ = row;
    isNew_ = true;
    modified_ = false;
    edit_ = TResultRow();
    if (indicatorRow_ >= row)
        ++indicatorRow_;
    endInsertRows();
}

void TResultsModel::LeaveRow() {
    if (editRow_ < 0)
        return;
    if (!modified_) {
        CancelRow();
        return;
    }
    if (isNew_)
        StoreNewRow();
    else
        StoreEditedRow();
}

void TResultsModel::StoreEditedRow() {
    const int row = editRow_;
    if (ChangedElsewhere()) {
        // Only this row matters: it is written when it still holds what the grid showed.
        std::vector<TResultRow> now = data_.resultsTbl.ReadAfter(shown_.Bookmark - 1, 1);
        if (!now.empty() && now.front().Bookmark == shown_.Bookmark && !(now.front() == shown_))
            RefreshAndRefuse("The edit of this row was not written");
    }
    data_.resultsTbl.UpdateRow(edit_);
    // Written: only now does the cached row take the new values.
    const std::int64_t pos = PosOfRow(row);
    auto found = windows_.find(pos / WindowRows);
    if (found != windows_.end() && static_cast<std::size_t>(pos % WindowRows) < found->second.size())
        found->second[static_cast<std::size_t>(pos % WindowRows)] = edit_;
    ClearEdit();
    EmitRowChanged(row);
}

void TResultsModel::StoreNewRow() {
    TResultRow stored = edit_;
    data_.resultsTbl.InsertRow(stored);
    const int from = editRow_;
    const int last = rowCount() - 1;
    // The table keeps its natural order: the row shown where Insert was pressed now lives at the end.
    const bool moves = from != last;
    if (moves)
        beginMoveRows(QModelIndex(), from, from, QModelIndex(), last + 1);
    pager_.NoteAppended(stored.Bookmark);
    windows_.clear();
    ClearEdit();
    if (moves) {
        if (indicatorRow_ == from)
            indicatorRow_ = last;
        else if (indicatorRow_ > from)
            --indicatorRow_;
        endMoveRows();
    } else {
        EmitRowChanged(from);
    }
}

void TResultsModel::CancelRow() {
    if (editRow_ < 0)
        return;
    const int row = editRow_;
    if (!isNew_) {
        ClearEdit();
        EmitRowChanged(row);
        return;
    }
    beginRemoveRows(QModelIndex(), row, row);
    ClearEdit();
    if (indicatorRow_ > row)
        --indicatorRow_;
    else if (indicatorRow_ == row)
        indicatorRow_ = -1;
    endRemoveRows();
}

void TResultsModel::DropUntouchedNewRow() {
    if (isNew_ && !modified_)
        CancelRow();
}

void TResultsModel::DeleteBookmark(std::int64_t bookmark) {
    if (ChangedElsewhere())
        RefreshAndRefuse("Nothing was deleted");
    const int row = RowOfBookmark(bookmark);
    // The rows around it are read while they are still there, for whoever looks during the removal.
    RowAt(row - 1);
    RowAt(row + 1);
    data_.resultsTbl.GotoBookmark(bookmark);
    data_.resultsTbl.Delete();
    selected_.erase(bookmark);
    if (row < 0) {
        Refresh();
        return;
    }
    beginRemoveRows(QModelIndex(), row, row);
    pager_.NoteDeleted(bookmark);
    windows_.clear();
    if (editRow_ == row)
        ClearEdit();
    else if (editRow_ > row)
        --editRow_;
    if (indicatorRow_ > row)
        --indicatorRow_;
    else if (indicatorRow_ == row)
        indicatorRow_ = -1;
    endRemoveRows();
}

void TResultsModel::DeleteApplicationOf(std::int64_t bookmark) {
    if (ChangedElsewhere())
        RefreshAndRefuse("Nothing was deleted");
    auto &table = data_.resultsTbl;
    table.GotoBookmark(bookmark);
    const std::string maker = table.AsString(TField::AppMaker);
    const std::string appName = table.AsString(TField::AppName);
    table.Delete();
    try {
        data_.Query1.DeleteApplication(maker, appName);
    } catch (...) {
        Refresh();
        throw;
    }
    Refresh();
}

void TResultsModel::Refresh() {
    beginResetModel();
    active_ = data_.resultsTbl.Active();
    if (active_)
        seenVersion_ = data_.database.DataVersion();
    pager_.Reset();
    windows_.clear();
    ClearEdit();
    indicatorRow_ = -1;
    DropGoneSelections();
    endResetModel();
}

void TResultsModel::DropGoneSelections() {
    if (!active_) {
        selected_.clear();
        return;
    }
    if (selected_.empty())
        return;
    const std::vector<std::int64_t> kept = pager_.Existing({selected_.begin(), selected_.end()});
    selected_ = std::set<std::int64_t>(kept.begin(), kept.end());
}

void TResultsModel::SetSelected(std::int64_t bookmark, bool selected, int row) {
    if (bookmark == 0 || selected_.contains(bookmark) == selected)
        return;
    if (selected)
        selected_.insert(bookmark);
    else
        selected_.erase(bookmark);
    if (row < 0)
        row = RowOfBookmark(bookmark);
    if (row >= 0)
        emit dataChanged(index(row, 0), index(row, columnCount() - 1), {Qt::BackgroundRole, Qt::ForegroundRole});
}

void TResultsModel::ClearSelection() {
    if (selected_.empty())
        return;
    selected_.clear();
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                         {Qt::BackgroundRole, Qt::ForegroundRole});
}

void TResultsModel::SetSelectionColors(const QColor &base, const QColor &text) {
    selectedBase_ = base;
    selectedText_ = text;
}

void TResultsModel::SetIndicatorRow(int row) {
    if (row == indicatorRow_)
        return;
    const int old = indicatorRow_;
    indicatorRow_ = row;
    if (old >= 0 && old < rowCount())
        emit headerDataChanged(Qt::Vertical, old, old);
    if (row >= 0 && row < rowCount())
        emit headerDataChanged(Qt::Vertical, row, row);
}
