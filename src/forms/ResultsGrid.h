#pragma once
#include "data/ResultRow.h"

#include <QPersistentModelIndex>
#include <QTableView>

#include <cstdint>
#include <string>

class IMessageBoxes;
class QMenu;
class QScrollBar;
class TResultsDelegate;
class TResultsModel;

// ResultsGrid1: the results table in an editable grid whose current cell is always in edit mode.
//
// Qt's own selection is switched off: the grid keeps a set of bookmarks in the model and changes it the way the
// commands of the results page rely on. A click with any button makes the row current and selects it alone, or
// with Ctrl toggles it; Up/Down empty the selection, with Shift they grow it away from where the Shift run
// began and shrink it on the way back. A right-click anywhere, the Menu key and Shift+F10 open the pop-up menu,
// also over the current cell's editor. Every move of the current cell goes through MoveCurrent, which refuses
// an invalid value in the editor and writes the pending edit when the row is left.
class TResultsGrid : public QTableView {
    Q_OBJECT
public:
    explicit TResultsGrid(IMessageBoxes &boxes, QWidget *parent = nullptr);
    ~TResultsGrid() override;

    void SetResultsModel(TResultsModel *model);
    TResultsModel *ResultsModel() const { return model_; }
    void SetPopupMenu(QMenu *menu) { menu_ = menu; }

    // The selection: bookmarks in table order, counted and fetched by index from 0.
    int SelectedCount() const;
    std::int64_t SelectedAt(int i) const;

    int CurrentRow() const;
    // A stored or new row is current (none while the table is closed or empty).
    bool HasCurrentRow() const { return CurrentRow() >= 0; }
    std::string CurrentText(invexa::TField field) const;
    // The field of the focused column; false when no cell is current.
    bool CurrentField(invexa::TField &field) const;

    // Moves the current cell, writing the row being left; false when a value is refused or the write fails
    // (both reported in a box).
    bool MoveCurrent(int row, int column);
    // Writes the editor's text and the current row's pending edit. False when the editor's value is refused
    // (told in a box); throws when the write fails.
    bool PostEditing();
    // Drops the editor's text and the pending edit.
    void CancelEditing();
    // Writes a pending edit as leaving its row would. One that is refused or cannot be written is told in a box
    // and dropped, so that the grid shows the table's value again; false then.
    bool PostOrDropEditing();
    // Reads the table again (after it was opened, closed or emptied); the first row becomes current.
    void Reload();
    void GoLast();

    // The row commands (their questions and windows belong to the main window).
    void DeleteSelectedRows();
    void DeleteApplicationOfFirstSelected();
    // Ctrl+Delete: asks in the "Confirm" box, then deletes the selected rows from the last, or the current row.
    void DeleteWithConfirm();

signals:
    // A click on a column title: ResultsGrid1TitleClick.
    void TitleClicked(int column);

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void commitData(QWidget *editor) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;

private:
    IMessageBoxes &Boxes() const;
    bool HandleKey(QKeyEvent *event);
    // Opens the pop-up menu, unless it is open already (the Menu key comes as a key and as a menu request).
    void PopupMenu(const QPoint &globalPos);
    QPoint CurrentCellCorner() const;
    void ClickRow(int row, int column, Qt::KeyboardModifiers modifiers);
    void MoveVertical(int delta, bool shift);
    void MoveBy(int delta, bool shift);
    void MoveToEnd(bool last);
    void AppendRow();
    void InsertRowHere();
    void TabTo(bool forward);
    bool CommitEditor(bool explain);
    void EnsureEditor();
    void CloseEditorAt(const QModelIndex &index);
    void PlaceCurrent(int row, int column);
    // The row at the position in the table current, the model's window moved there first when it lies outside.
    void PlacePosition(std::int64_t pos, int column);
    // MoveCurrent to a position in the table, wherever the model's window lies.
    bool MoveToPosition(std::int64_t pos, int column);
    // The scroll bar over the whole table, in place of the view's own (which spans the model's window) while the
    // table is larger than the window.
    void SetUpWholeBar();
    // The whole table's bar follows the view's.
    void FollowView();
    // The view scrolled to an edge of the model's window that is not the table's: the window moves on.
    void MoveOnAtEdge();
    // Shows the rows from the position on, moving the model's window when they lie outside it. The current row
    // stays where it is when it is still in the window, else it moves to the first row shown.
    void ScrollToPosition(std::int64_t top);
    void FocusLeft();
    bool Owns(const QWidget *widget) const;
    int CurrentColumn() const;
    int VisibleRows() const;

    TResultsModel *model_ = nullptr;
    TResultsDelegate *delegate_ = nullptr;
    IMessageBoxes &boxes_;
    QMenu *menu_ = nullptr;
    QPersistentModelIndex editorIndex_;
    QScrollBar *wholeBar_ = nullptr;
    bool syncing_ = false;
    bool closing_ = false;
    // The row where the current run of Shift moves began, while the run lasts.
    bool selecting_ = false;
    std::int64_t anchor_ = 0;
};
