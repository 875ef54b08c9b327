#pragma once
#include "data/ResultRow.h"
#include "data/RowWindows.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QString>

#include <cstdint>
#include <exception>
#include <map>
#include <set>
#include <string>
#include <vector>

class QTimer;

namespace invexa {
class TResultsStore;
}

// DataSource1: the results table as the grid sees it, through the core's window cache (TRowWindows). Each window's
// texts are turned into QStrings once, when it is read, not at every paint. A read that fails shows empty rows and
// is reported once (ReadFailed) until the rows are read afresh.
//
// It also holds what the grid adds to the table: the pending edit of one row (shown at once, written to the
// table only when the grid leaves the row), the new row that Insert or Down on the last row starts (shown at
// its place until written, then stored at the end of the table), and the selection, a set of bookmarks, so that
// selected rows paint highlighted whether or not the grid has the focus.
class TResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TResultsModel(invexa::TResultsStore &data, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    static invexa::TField FieldOfColumn(int column);

    // Reads the table again from scratch: after it was opened, closed or emptied, or changed by a statement.
    // A pending edit is dropped; selection entries whose rows are gone are dropped (all of them when closed).
    // Never throws: a read that fails is reported through ReadFailed.
    void Refresh();
    bool Active() const;
    // Rows stored in the table (the new row not counted); waits for the count when it is still being made.
    std::int64_t StoredCount() const;

    // The view is given a window of at most Span rows of the table, the row at position Base() first: a header
    // and a scroll range of a row per table row would cost Qt memory and time for every row. A table that fits
    // is shown whole. The grid moves the window with ShiftTo (which reads the rows afresh for the view).
    static inline std::int64_t Span = 100000;
    std::int64_t Base() const { return base_; }
    // The table may hold rows before or after the window.
    bool Windowed() const;
    // The rows stored, without waiting for the count: until it comes, the rows counted for the first window.
    std::int64_t CountSoFar() const;
    // The window's last row is the table's last.
    bool AtEnd() const;
    void ShiftTo(std::int64_t base);
    // Position in the table of the row of the bookmark, or of the first row after it when it is gone, or the last.
    std::int64_t PositionAtOrAfter(std::int64_t bookmark) const;

    // 0 for the new row and for rows out of range.
    std::int64_t Bookmark(int row) const;
    // 8-bit text of a field as the grid shows it, the pending edit included; empty out of range.
    std::string Text(int row, invexa::TField field) const;
    // -1 when the row is gone.
    int RowOfBookmark(std::int64_t bookmark) const;
    // The row of the bookmark, or of the first row after it when it is gone, or the last row; -1 when empty.
    int RowAtOrAfter(std::int64_t bookmark) const;

    // Why the text cannot go into the column (the error box's message), or empty when it can.
    QString Validate(int column, const QString &text) const;
    int EditRow() const { return editRow_; }
    bool IsNewRow(int row) const { return isNew_ && row == editRow_; }
    bool EditModified() const { return editRow_ >= 0 && modified_; }
    // Starts a new, empty row shown at row (0..rowCount); a pending edit must have been written before.
    void InsertNewRow(int row);
    // The grid leaves the row being edited: a modified row is written (one keyed UPDATE, or stored at the end
    // when new), an untouched new row is dropped. Throws when the write fails; the edit is then kept.
    void LeaveRow();
    // Forgets the pending edit; a new row disappears.
    void CancelRow();
    void DropUntouchedNewRow();

    // Deletes the row; the grid drops the row and its selection entry.
    void DeleteBookmark(std::int64_t bookmark);
    // Deletes the row, then every other row of its application, and reads the table again (also when the
    // second delete fails).
    void DeleteApplicationOf(std::int64_t bookmark);

    // The selection, in table order.
    const std::set<std::int64_t> &Selection() const { return selected_; }
    // row, when known, spares looking the bookmark up.
    void SetSelected(std::int64_t bookmark, bool selected, int row = -1);
    void ClearSelection();
    void SetSelectionColors(const QColor &base, const QColor &text);

    // The row marked in the indicator column.
    void SetIndicatorRow(int row);

    // Rows held in the window cache: bounded whatever the size of the table.
    std::size_t CachedRows() const;

signals:
    // The table's rows are counted (after the first rows were shown from a count up to Span).
    void Counted();
    // A read of the table failed: the error's message, in the user's words. Sent after the paint that read.
    void ReadFailed(const QString &message);

private:
    std::int64_t PosOfRow(int row) const { return base_ + ((isNew_ && row > editRow_) ? row - 1 : row); }
    int RowOfPos(std::int64_t pos) const {
        pos -= base_;
        return static_cast<int>((isNew_ && pos >= editRow_) ? pos + 1 : pos);
    }
    std::int64_t WindowRows() const;
    void WatchCount();
    // Reads the window afresh for the view, the pending edit dropped.
    void ShowAfresh();
    // The base nearest to base whose window lies within the table.
    std::int64_t BaseWithin(std::int64_t base) const;
    const invexa::TResultRow *RowAt(int row) const;
    // The window's texts, converted when the window was read.
    const QString *ShownText(int row, int column) const;
    void ReportReadFailure(const std::exception &error) const;
    void EmitRowChanged(int row);
    void ClearEdit();
    // The indicator follows the removal of row.
    void IndicatorRowRemoved(int row);
    void StoreNewRow();
    void StoreEditedRow();
    void DropGoneSelections();
    // The row as the grid read it, for a write checked against it; only its bookmark when it is not at hand.
    invexa::TResultRow ReadRow(int row, std::int64_t bookmark) const;
    [[noreturn]] void RefreshAndRefuse(const std::string &what);

    invexa::TResultsStore &data_;
    mutable invexa::TRowWindows windows_;
    // Per window index: the columns' texts, row after row, in display order.
    mutable std::map<std::int64_t, std::vector<QString>> texts_;
    mutable bool readFailed_ = false;
    bool active_ = false;
    std::int64_t base_ = 0;
    std::int64_t firstRows_ = 0; // the rows counted up to Span + 1 when the table was read afresh
    QTimer *countWatch_ = nullptr;

    int editRow_ = -1;
    bool isNew_ = false;
    bool modified_ = false;
    invexa::TResultRow edit_;
    invexa::TResultRow shown_; // the edited row as it was shown before the edit

    std::set<std::int64_t> selected_;
    QColor selectedBase_, selectedText_;
    int indicatorRow_ = -1;
};
