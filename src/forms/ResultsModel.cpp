#include "forms/ResultsModel.h"

#include "base/InvexaError.h"
#include "data/ResultsStore.h"
#include "forms/Cp1252Text.h"

#include <QBrush>
#include <QGuiApplication>
#include <QPalette>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <exception>
#include <optional>

using invexa::TField;
using invexa::TResultRow;

namespace {
const QString IndicatorCurrent = QStringLiteral("\u25BA");
const QString IndicatorNew = QStringLiteral("*");
} // namespace

TResultsModel::TResultsModel(invexa::TResultsStore &data, QObject *parent)
    : QAbstractTableModel(parent), data_(data), windows_(data) {
    const QPalette palette = QGuiApplication::palette();
    // The active group's colours: selected rows look the same whether or not the grid has the focus.
    selectedBase_ = palette.color(QPalette::Active, QPalette::Highlight);
    selectedText_ = palette.color(QPalette::Active, QPalette::HighlightedText);
    countWatch_ = new QTimer(this);
    countWatch_->setInterval(20);
    connect(countWatch_, &QTimer::timeout, this, [this] {
        if (windows_.CountKnown() || !windows_.Counting()) {
            countWatch_->stop();
            emit Counted();
        }
    });
    active_ = data_.Active();
    windows_.Reset();
    WatchCount();
}

// Another program (a second administrator's merge, say) may have replaced rows since the grid read them, and a
// merge reuses the bookmarks of the rows it replaces: a write aimed by bookmark at a row the grid shows could
// land on another row. The grid reads the table afresh instead, and the user does it again on what is there.
void TResultsModel::RefreshAndRefuse(const std::string &what) {
    Refresh();
    throw invexa::EInvexaError("The results table was changed by another program meanwhile. " + what +
                               "; the grid now shows the table as it is");
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

std::size_t TResultsModel::CachedRows() const {
    return windows_.CachedRows();
}

void TResultsModel::ReportReadFailure(const std::exception &error) const {
    if (readFailed_)
        return;
    readFailed_ = true;
    // Queued: a box opened from inside a paint would paint the grid again.
    auto *self = const_cast<TResultsModel *>(this);
    QMetaObject::invokeMethod(
        self, [self, message = QString::fromUtf8(error.what())] { emit self->ReadFailed(message); },
        Qt::QueuedConnection);
}

const TResultRow *TResultsModel::RowAt(int row) const {
    if (!active_ || row < 0)
        return nullptr;
    if (row == editRow_)
        return &edit_;
    try {
        return windows_.RowAt(PosOfRow(row));
    } catch (const std::exception &error) {
        ReportReadFailure(error); // the file locked or gone: the row shows empty
        return nullptr;
    }
}

const QString *TResultsModel::ShownText(int row, int column) const {
    if (!active_ || row < 0 || row == editRow_)
        return nullptr;
    const std::int64_t pos = PosOfRow(row);
    const std::int64_t index = pos / invexa::TRowWindows::WindowRows;
    const std::size_t columns = std::size(invexa::DisplayFields);
    try {
        bool fetched = false;
        const std::vector<TResultRow> &rows = windows_.Window(index, &fetched);
        std::vector<QString> &texts = texts_[index];
        if (fetched || texts.size() != rows.size() * columns) {
            texts.clear();
            texts.reserve(rows.size() * columns);
            for (const TResultRow &r : rows)
                for (TField field : invexa::DisplayFields)
                    texts.push_back(Cp1252Text::ToQString(r.Text(field)));
            // The texts of evicted windows go with them (this one is held: it was just asked for).
            std::erase_if(texts_, [&](const auto &entry) { return !windows_.Holds(entry.first); });
        }
        const auto at = static_cast<std::size_t>(pos % invexa::TRowWindows::WindowRows) * columns +
                        static_cast<std::size_t>(column);
        return at < texts.size() ? &texts[at] : nullptr;
    } catch (const std::exception &error) {
        ReportReadFailure(error);
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
        if (index.row() == editRow_)
            return Cp1252Text::ToQString(edit_.Text(field));
        const QString *text = ShownText(index.row(), index.column());
        return text ? *text : QString();
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

QString TResultsModel::Validate(int column, const QString &text) const {
    try {
        TResultRow probe;
        probe.SetText(FieldOfColumn(column), Cp1252Text::ToBytes(text));
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
        changed.SetText(FieldOfColumn(index.column()), Cp1252Text::ToBytes(value.toString()));
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
    if (!data_.UpdateRowIfUnchanged(edit_, shown_))
        RefreshAndRefuse("The edit of this row was not written");
    // Written: only now does the cached row take the new values.
    windows_.Written(PosOfRow(row), edit_);
    texts_.erase(PosOfRow(row) / invexa::TRowWindows::WindowRows);
    ClearEdit();
    EmitRowChanged(row);
}

void TResultsModel::StoreNewRow() {
    TResultRow stored = edit_;
    data_.InsertRow(stored);
    const int from = editRow_;
    const int last = rowCount() - 1;
    // The table keeps its natural order: the row shown where Insert was pressed now lives at the end.
    const bool moves = from != last;
    if (Windowed() && (moves || WindowRows() == Span)) {
        windows_.Appended(stored.Bookmark);
        ShowAfresh(); // the end of the table is outside the window, or pushes its first row out
        return;
    }
    if (moves)
        beginMoveRows(QModelIndex(), from, from, QModelIndex(), last + 1);
    windows_.Appended(stored.Bookmark);
    texts_.clear();
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
    IndicatorRowRemoved(row);
    endRemoveRows();
}

void TResultsModel::IndicatorRowRemoved(int row) {
    if (indicatorRow_ > row)
        --indicatorRow_;
    else if (indicatorRow_ == row)
        indicatorRow_ = -1;
}

void TResultsModel::DropUntouchedNewRow() {
    if (isNew_ && !modified_)
        CancelRow();
}

void TResultsModel::DeleteBookmark(std::int64_t bookmark) {
    const int row = RowOfBookmark(bookmark);
    // The rows around it are read while they are still there, for whoever looks during the removal.
    RowAt(row - 1);
    RowAt(row + 1);
    if (!data_.DeleteIfUnchanged(ReadRow(row, bookmark)))
        RefreshAndRefuse("Nothing was deleted");
    selected_.erase(bookmark);
    if (Windowed()) {
        windows_.Deleted(bookmark);
        ShowAfresh(); // rows come into the window from beyond it
        return;
    }
    if (row < 0) {
        Refresh();
        return;
    }
    beginRemoveRows(QModelIndex(), row, row);
    windows_.Deleted(bookmark);
    texts_.clear();
    if (editRow_ == row)
        ClearEdit();
    else if (editRow_ > row)
        --editRow_;
    IndicatorRowRemoved(row);
    endRemoveRows();
}

TResultRow TResultsModel::ReadRow(int row, std::int64_t bookmark) const {
    if (row >= 0 && row == editRow_ && !isNew_)
        return shown_;
    const TResultRow *read = row == editRow_ ? nullptr : RowAt(row);
    if (read && read->Bookmark == bookmark)
        return *read;
    TResultRow only;
    only.Bookmark = bookmark;
    return only;
}

void TResultsModel::DeleteApplicationOf(std::int64_t bookmark) {
    const std::optional<TResultRow> gone = data_.DeleteIfUnchanged(ReadRow(RowOfBookmark(bookmark), bookmark));
    if (!gone)
        RefreshAndRefuse("Nothing was deleted");
    try {
        data_.DeleteApplication(gone->AppMaker, gone->AppName);
    } catch (...) {
        Refresh();
        throw;
    }
    Refresh();
}

void TResultsModel::Refresh() {
    beginResetModel();
    active_ = data_.Active();
    readFailed_ = false;
    texts_.clear();
    base_ = 0;
    firstRows_ = 0;
    countWatch_->stop();
    try {
        windows_.Reset();
        WatchCount();
    } catch (const std::exception &error) {
        ReportReadFailure(error);
    }
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
    try {
        const std::vector<std::int64_t> kept = windows_.Existing({selected_.begin(), selected_.end()});
        selected_ = std::set<std::int64_t>(kept.begin(), kept.end());
    } catch (const std::exception &error) {
        ReportReadFailure(error); // kept as they are: a command on a row gone finds it gone
    }
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
    if (row >= 0 && row < rowCount())
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
