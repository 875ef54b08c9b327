// The grid's keyboard and mouse: moves of the current cell, the Shift and Ctrl selection rules, the pop-up menu.
#include "forms/ResultsGrid.h"

#include "forms/ResultsDelegate.h"
#include "forms/ResultsModel.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include <algorithm>

int TResultsGrid::VisibleRows() const {
    const int height = verticalHeader()->defaultSectionSize();
    return std::max(1, viewport()->height() / std::max(1, height));
}

void TResultsGrid::ClickRow(int row, int column, Qt::KeyboardModifiers modifiers) {
    if (!MoveCurrent(row, column))
        return;
    const int current = CurrentRow();
    const std::int64_t bookmark = model_->Bookmark(current);
    selecting_ = false;
    if (modifiers & Qt::ControlModifier) {
        model_->SetSelected(bookmark, !model_->Selection().contains(bookmark), current);
        return;
    }
    model_->ClearSelection();
    model_->SetSelected(bookmark, true, current);
}

void TResultsGrid::MoveVertical(int delta, bool shift) {
    if (!model_ || !model_->Active())
        return;
    const QModelIndex cur = currentIndex();
    if (!cur.isValid()) {
        if (delta > 0 && model_->rowCount() == 0)
            AppendRow();
        else
            PlaceCurrent(0, 0);
        return;
    }
    if (delta > 0 && cur.row() == model_->rowCount() - 1 && model_->AtEnd()) {
        AppendRow();
        return;
    }
    MoveBy(delta, shift);
}

void TResultsGrid::MoveBy(int delta, bool shift) {
    const QModelIndex cur = currentIndex();
    if (!cur.isValid())
        return;
    const std::int64_t leaving = model_->Bookmark(cur.row());
    const int target = std::clamp(cur.row() + delta, 0, model_->rowCount() - 1);
    if (target != cur.row() + delta && model_->Windowed()) {
        // Past the window's edge: the window moves, unless the table ends there.
        const std::int64_t here = model_->Base() + cur.row();
        const std::int64_t pos = std::clamp<std::int64_t>(here + delta, 0, model_->StoredCount() - 1);
        if (pos == here || !MoveToPosition(pos, cur.column()))
            return;
    } else if (target == cur.row() || !MoveCurrent(target, cur.column())) {
        return;
    }
    if (!shift) {
        model_->ClearSelection();
        selecting_ = false;
        return;
    }
    // Moving away from where the Shift run began takes rows in; moving back towards it lets them go.
    bool takeNew = true;
    if (!selecting_) {
        selecting_ = true;
        anchor_ = leaving;
        model_->SetSelected(leaving, true);
    } else {
        const int side = (leaving > anchor_) - (leaving < anchor_);
        const int direction = delta > 0 ? 1 : -1;
        takeNew = side != -direction;
        if (!takeNew)
            model_->SetSelected(leaving, false);
    }
    if (takeNew)
        model_->SetSelected(model_->Bookmark(CurrentRow()), true, CurrentRow());
}

void TResultsGrid::MoveToEnd(bool last) {
    if (!model_ || model_->rowCount() == 0)
        return;
    const int column = std::max(0, CurrentColumn());
    if (model_->Windowed() ? !MoveToPosition(last ? model_->StoredCount() - 1 : 0, column)
                           : !MoveCurrent(last ? model_->rowCount() - 1 : 0, column))
        return;
    model_->ClearSelection();
    selecting_ = false;
}

void TResultsGrid::TabTo(bool forward) {
    const QModelIndex cur = currentIndex();
    if (!cur.isValid())
        return;
    const int columns = model_->columnCount();
    int visual = horizontalHeader()->visualIndex(cur.column()) + (forward ? 1 : -1);
    int row = cur.row();
    if (visual >= columns) {
        visual = 0;
        ++row;
    } else if (visual < 0) {
        visual = columns - 1;
        --row;
    }
    if (row >= 0 && row < model_->rowCount())
        MoveCurrent(row, horizontalHeader()->logicalIndex(visual));
}

bool TResultsGrid::HandleKey(QKeyEvent *event) {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Up:
        MoveVertical(-1, shift);
        return true;
    case Qt::Key_Down:
        MoveVertical(1, shift);
        return true;
    case Qt::Key_PageUp:
        MoveBy(-VisibleRows(), false);
        return true;
    case Qt::Key_PageDown:
        MoveBy(VisibleRows(), false);
        return true;
    case Qt::Key_Tab:
        TabTo(true);
        return true;
    case Qt::Key_Backtab:
        TabTo(false);
        return true;
    case Qt::Key_Home:
    case Qt::Key_End:
        if (!ctrl)
            return false;
        MoveToEnd(event->key() == Qt::Key_End);
        return true;
    case Qt::Key_Insert:
        if (event->modifiers() != Qt::NoModifier)
            return false;
        InsertRowHere();
        return true;
    case Qt::Key_Delete:
        if (!ctrl)
            return false;
        DeleteWithConfirm();
        return true;
    case Qt::Key_F10:
        if (event->modifiers() != Qt::ShiftModifier)
            return false;
        PopupMenu(CurrentCellCorner());
        return true;
    case Qt::Key_Menu:
        PopupMenu(CurrentCellCorner());
        return true;
    default:
        return false;
    }
}

void TResultsGrid::keyPressEvent(QKeyEvent *event) {
    if (!HandleKey(event))
        QTableView::keyPressEvent(event);
}

void TResultsGrid::mousePressEvent(QMouseEvent *event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    setFocus(Qt::MouseFocusReason);
    if (index.isValid())
        ClickRow(index.row(), index.column(), event->modifiers());
    event->accept();
}

void TResultsGrid::mouseMoveEvent(QMouseEvent *event) {
    // Dragging with a button held would select cells Qt's way.
    if (event->buttons() == Qt::NoButton)
        QTableView::mouseMoveEvent(event);
}

void TResultsGrid::mouseReleaseEvent(QMouseEvent *event) {
    event->accept();
}

void TResultsGrid::contextMenuEvent(QContextMenuEvent *event) {
    PopupMenu(event->reason() == QContextMenuEvent::Mouse ? event->globalPos() : CurrentCellCorner());
    event->accept();
}

void TResultsGrid::PopupMenu(const QPoint &globalPos) {
    if (menu_ && !menu_->isVisible())
        menu_->popup(globalPos);
}

QPoint TResultsGrid::CurrentCellCorner() const {
    const QRect cell = visualRect(currentIndex());
    return viewport()->mapToGlobal(cell.isValid() ? cell.bottomLeft() : QPoint());
}

bool TResultsGrid::eventFilter(QObject *watched, QEvent *event) {
    if (model_ && watched == verticalHeader()->viewport()) {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            const int row = verticalHeader()->logicalIndexAt(mouse->position().toPoint());
            setFocus(Qt::MouseFocusReason);
            if (row >= 0)
                ClickRow(row, std::max(0, CurrentColumn()), mouse->modifiers());
            return true;
        }
        return event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonRelease;
    }
    if (model_ && watched == delegate_->Editor()) {
        if (event->type() == QEvent::KeyPress)
            return HandleKey(static_cast<QKeyEvent *>(event));
        if (event->type() == QEvent::MouseButtonPress) {
            // A click on the current cell lands in its editor; it still selects the row.
            const auto *mouse = static_cast<QMouseEvent *>(event);
            ClickRow(CurrentRow(), CurrentColumn(), mouse->modifiers());
        }
    }
    return QTableView::eventFilter(watched, event);
}
