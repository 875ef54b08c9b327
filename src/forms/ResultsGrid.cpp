#include "forms/ResultsGrid.h"

#include "forms/ErrorBox.h"
#include "forms/GridTitleStyle.h"
#include "forms/IMessageBoxes.h"
#include "forms/ResultsDelegate.h"
#include "forms/ResultsModel.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>

#include <algorithm>
#include <vector>

namespace {
constexpr int TextColumnWidth = 64;
constexpr int UserNameChars = 16;
} // namespace

TResultsGrid::TResultsGrid(IMessageBoxes &boxes, QWidget *parent) : QTableView(parent), boxes_(boxes) {
    delegate_ = new TResultsDelegate(this, this);
    setItemDelegate(delegate_);
    // Qt's selection and edit triggers are off: the grid selects and edits by its own rules.
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setSortingEnabled(false);
    setTabKeyNavigation(true);
    setWordWrap(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStyle(new TGridTitleStyle(this));
    // QTableView makes a header press select a whole column or row and move the current cell there; a title
    // click must change nothing, and an indicator click is a row click.
    disconnect(horizontalHeader(), &QHeaderView::sectionPressed, this, nullptr);
    disconnect(horizontalHeader(), &QHeaderView::sectionEntered, this, nullptr);
    disconnect(verticalHeader(), &QHeaderView::sectionPressed, this, nullptr);
    disconnect(verticalHeader(), &QHeaderView::sectionEntered, this, nullptr);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &TResultsGrid::TitleClicked);
    verticalHeader()->viewport()->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *old, QWidget *now) {
        if (Owns(old) && now && !Owns(now) && !qobject_cast<QMenu *>(now))
            FocusLeft(now);
    });
}

TResultsGrid::~TResultsGrid() {
    // ~QWidget clears the focus and so emits focusChanged while this object is already only a QWidget; the
    // connection's own cleanup in ~QObject comes too late to keep the handler from running on it.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
}

void TResultsGrid::SetResultsModel(TResultsModel *model) {
    model_ = model;
    setModel(model);
    connect(model_, &TResultsModel::ReadFailed, this,
            [this](const QString &message) { Boxes().ErrorBox(this, ErrorBox::Text(message.toStdString())); });
    model_->SetSelectionColors(palette().color(QPalette::Active, QPalette::Highlight),
                               palette().color(QPalette::Active, QPalette::HighlightedText));
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    setColumnWidth(0, fontMetrics().horizontalAdvance(QLatin1Char('0')) * UserNameChars + 4);
    for (int column = 1; column < model_->columnCount(); ++column)
        setColumnWidth(column, TextColumnWidth);
    Reload();
}

IMessageBoxes &TResultsGrid::Boxes() const {
    return boxes_;
}

bool TResultsGrid::Owns(const QWidget *widget) const {
    return widget && (widget == this || isAncestorOf(widget));
}

int TResultsGrid::SelectedCount() const {
    return model_ ? static_cast<int>(model_->Selection().size()) : 0;
}

std::int64_t TResultsGrid::SelectedAt(int i) const {
    auto it = model_->Selection().begin();
    std::advance(it, i);
    return *it;
}

int TResultsGrid::CurrentRow() const {
    const QModelIndex cur = currentIndex();
    return cur.isValid() ? cur.row() : -1;
}

int TResultsGrid::CurrentColumn() const {
    const QModelIndex cur = currentIndex();
    return cur.isValid() ? cur.column() : -1;
}

std::string TResultsGrid::CurrentText(invexa::TField field) const {
    return model_ ? model_->Text(CurrentRow(), field) : std::string();
}

bool TResultsGrid::CurrentField(invexa::TField &field) const {
    if (CurrentColumn() < 0)
        return false;
    field = TResultsModel::FieldOfColumn(CurrentColumn());
    return true;
}

int TResultsGrid::VisibleRows() const {
    const int height = verticalHeader()->defaultSectionSize();
    return std::max(1, viewport()->height() / std::max(1, height));
}

void TResultsGrid::PlaceCurrent(int row, int column) {
    if (!model_ || row < 0 || row >= model_->rowCount())
        return;
    setCurrentIndex(model_->index(row, std::clamp(column, 0, model_->columnCount() - 1)));
    EnsureEditor();
}

void TResultsGrid::EnsureEditor() {
    const QModelIndex cur = currentIndex();
    if (editorIndex_.isValid() && editorIndex_ != cur)
        CloseEditorAt(editorIndex_);
    editorIndex_ = QPersistentModelIndex();
    if (!cur.isValid() || !(model_->flags(cur) & Qt::ItemIsEditable))
        return;
    if (!isPersistentEditorOpen(cur))
        openPersistentEditor(cur);
    editorIndex_ = cur;
    if (Owns(QApplication::focusWidget()) && delegate_->Editor())
        delegate_->Editor()->setFocus();
}

void TResultsGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous) {
    QTableView::currentChanged(current, previous);
    if (!model_)
        return;
    model_->SetIndicatorRow(current.isValid() ? current.row() : -1);
    EnsureEditor();
}

QItemSelectionModel::SelectionFlags TResultsGrid::selectionCommand(const QModelIndex &, const QEvent *) const {
    return QItemSelectionModel::NoUpdate;
}

bool TResultsGrid::CommitEditor(bool explain) {
    QLineEdit *editor = delegate_->Editor();
    const QModelIndex cur = currentIndex();
    if (!editor || !cur.isValid() || editorIndex_ != cur)
        return true;
    const QString why = model_->Validate(cur.column(), editor->text());
    if (!why.isEmpty()) {
        if (explain) {
            Boxes().ErrorBox(this, ErrorBox::Text(why.toStdString()));
            editor->setFocus();
        }
        return false;
    }
    delegate_->setModelData(editor, model_, cur);
    return true;
}

void TResultsGrid::commitData(QWidget *editor) {
    // Reached from the editor losing the focus, too: a value that cannot be taken stays in the editor,
    // and the error is told when the user tries to leave the cell.
    auto *edit = qobject_cast<QLineEdit *>(editor);
    if (!closing_ && model_ && edit && editorIndex_.isValid() &&
        model_->Validate(editorIndex_.column(), edit->text()).isEmpty())
        QTableView::commitData(editor);
}

void TResultsGrid::CloseEditorAt(const QModelIndex &index) {
    if (!isPersistentEditorOpen(index))
        return;
    // Whoever closes the editor has taken its text already, or means to drop it; and Qt reports closing the
    // current cell's editor as a revert, which is not the user's Escape.
    closing_ = true;
    // A focused editor that disappears hands the focus down the chain, which an item view turns into a Tab to
    // the next cell; the grid takes the focus first and gives it to the next editor.
    if (QWidget *focused = QApplication::focusWidget(); focused && focused != this && Owns(focused))
        setFocus(Qt::OtherFocusReason);
    closePersistentEditor(index);
    closing_ = false;
}

bool TResultsGrid::focusNextPrevChild(bool next) {
    // A focused cell editor that Qt hides (its row removed, the model reset) hands the focus on through here,
    // which an item view would turn into a Tab to the next cell. The focus stays in the grid instead.
    QWidget *focused = QApplication::focusWidget();
    if (focused && focused != this && Owns(focused) && focused->isHidden()) {
        setFocus(Qt::OtherFocusReason);
        return true;
    }
    return QTableView::focusNextPrevChild(next);
}

void TResultsGrid::closeEditor(QWidget *, QAbstractItemDelegate::EndEditHint hint) {
    if (closing_)
        return;
    // The editor is never closed from here: the current cell is always in edit mode.
    switch (hint) {
    case QAbstractItemDelegate::EditNextItem:
        TabTo(true);
        break;
    case QAbstractItemDelegate::EditPreviousItem:
        TabTo(false);
        break;
    case QAbstractItemDelegate::RevertModelCache:
        CancelEditing();
        break;
    case QAbstractItemDelegate::SubmitModelCache:
        CommitEditor(true);
        break;
    default:
        break;
    }
}

bool TResultsGrid::MoveCurrent(int row, int column) {
    if (!model_ || row < 0 || row >= model_->rowCount() || column < 0 || column >= model_->columnCount())
        return false;
    const QModelIndex cur = currentIndex();
    if (cur.isValid() && cur.row() == row && cur.column() == column)
        return true;
    if (!CommitEditor(true))
        return false;
    QPersistentModelIndex target(model_->index(row, column));
    if (cur.isValid() && cur.row() != row) {
        if (!ErrorBox::Guard(Boxes(), this, [this] { model_->LeaveRow(); }))
            return false;
        if (!target.isValid())
            return false;
    }
    PlaceCurrent(target.row(), target.column());
    return true;
}

bool TResultsGrid::PostEditing() {
    if (!model_ || !CommitEditor(true))
        return false;
    model_->LeaveRow();
    EnsureEditor();
    return true;
}

void TResultsGrid::CancelEditing() {
    if (!model_)
        return;
    model_->CancelRow();
    if (editorIndex_.isValid())
        CloseEditorAt(editorIndex_);
    EnsureEditor();
}

bool TResultsGrid::PostOrDropEditing() {
    if (!model_)
        return true;
    const int row = CurrentRow(), column = CurrentColumn();
    if (CommitEditor(true) && ErrorBox::Guard(Boxes(), this, [this] { model_->LeaveRow(); })) {
        EnsureEditor();
        return true;
    }
    CancelEditing();
    // A write refused because the row changed meanwhile read the table again, which leaves no cell current.
    if (!currentIndex().isValid())
        PlaceCurrent(row, column);
    return false;
}

void TResultsGrid::Reload() {
    if (!model_)
        return;
    const int column = std::max(0, CurrentColumn());
    model_->Refresh();
    selecting_ = false;
    editorIndex_ = QPersistentModelIndex();
    PlaceCurrent(0, column);
}

void TResultsGrid::GoLast() {
    if (model_ && model_->rowCount() > 0)
        PlaceCurrent(model_->rowCount() - 1, std::max(0, CurrentColumn()));
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
    if (delta > 0 && cur.row() == model_->rowCount() - 1) {
        AppendRow();
        return;
    }
    MoveBy(delta, shift);
}

void TResultsGrid::MoveBy(int delta, bool shift) {
    const QModelIndex cur = currentIndex();
    if (!cur.isValid())
        return;
    const int target = std::clamp(cur.row() + delta, 0, model_->rowCount() - 1);
    if (target == cur.row())
        return;
    const std::int64_t leaving = model_->Bookmark(cur.row());
    if (!MoveCurrent(target, cur.column()))
        return;
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
    if (!MoveCurrent(last ? model_->rowCount() - 1 : 0, std::max(0, CurrentColumn())))
        return;
    model_->ClearSelection();
    selecting_ = false;
}

void TResultsGrid::AppendRow() {
    if (!CommitEditor(true))
        return;
    const QModelIndex cur = currentIndex();
    // Down on a new row that holds nothing yet does not start another.
    if (cur.isValid() && model_->IsNewRow(cur.row()) && !model_->EditModified())
        return;
    if (!ErrorBox::Guard(Boxes(), this, [this] { model_->LeaveRow(); }))
        return;
    model_->InsertNewRow(model_->rowCount());
    PlaceCurrent(model_->rowCount() - 1, cur.isValid() ? cur.column() : 0);
}

void TResultsGrid::InsertRowHere() {
    if (!model_ || !model_->Active() || !CommitEditor(true))
        return;
    const QModelIndex cur = currentIndex();
    if (cur.isValid() && model_->IsNewRow(cur.row()) && !model_->EditModified())
        return;
    QPersistentModelIndex here(cur);
    if (!ErrorBox::Guard(Boxes(), this, [this] { model_->LeaveRow(); }))
        return;
    const int row = here.isValid() ? here.row() : 0;
    model_->InsertNewRow(row);
    PlaceCurrent(row, cur.isValid() ? cur.column() : 0);
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

void TResultsGrid::FocusLeft(QWidget *) {
    // A new row left without a value is dropped when the focus leaves the grid, as when its row is left.
    const QLineEdit *editor = delegate_->Editor();
    if (model_ && (!editor || editor->text().isEmpty()) && model_->EditRow() >= 0 &&
        model_->IsNewRow(model_->EditRow()) && !model_->EditModified())
        model_->DropUntouchedNewRow();
}

void TResultsGrid::DeleteSelectedRows() {
    if (SelectedCount() == 0 || !PostEditing())
        return;
    // The rows are taken once, before the first deletion; each deletion goes through the table's cursor.
    const std::vector<std::int64_t> rows(model_->Selection().begin(), model_->Selection().end());
    const int column = std::max(0, CurrentColumn());
    for (std::int64_t bookmark : rows)
        model_->DeleteBookmark(bookmark);
    PlaceCurrent(model_->RowAtOrAfter(rows.back()), column);
}

void TResultsGrid::DeleteApplicationOfFirstSelected() {
    if (SelectedCount() == 0 || !PostEditing())
        return;
    const std::int64_t first = SelectedAt(0);
    const int column = std::max(0, CurrentColumn());
    try {
        model_->DeleteApplicationOf(first);
    } catch (...) {
        PlaceCurrent(model_->RowAtOrAfter(first), column);
        throw;
    }
    PlaceCurrent(model_->RowAtOrAfter(first), column);
}

void TResultsGrid::DeleteWithConfirm() {
    if (!model_ || !model_->Active() || model_->StoredCount() == 0)
        return;
    const int n = SelectedCount();
    if (!Boxes().Confirm(this,
                         n < 2 ? QStringLiteral("Delete record?") : QStringLiteral("Delete all selected records?")))
        return;
    ErrorBox::Guard(Boxes(), this, [this, n] {
        const int column = std::max(0, CurrentColumn());
        if (n == 0) {
            const int row = CurrentRow();
            const bool isNew = row >= 0 && model_->IsNewRow(row);
            CancelEditing();
            if (row < 0 || isNew)
                return;
            const std::int64_t bookmark = model_->Bookmark(row);
            model_->DeleteBookmark(bookmark);
            PlaceCurrent(model_->RowAtOrAfter(bookmark), column);
            return;
        }
        if (!PostEditing())
            return;
        const std::vector<std::int64_t> rows(model_->Selection().begin(), model_->Selection().end());
        for (auto it = rows.rbegin(); it != rows.rend(); ++it)
            model_->DeleteBookmark(*it);
        PlaceCurrent(model_->RowAtOrAfter(rows.front()), column);
    });
}
