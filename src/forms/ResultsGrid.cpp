#include "forms/ResultsGrid.h"

#include "forms/ErrorBox.h"
#include "forms/GridTitleStyle.h"
#include "forms/IMessageBoxes.h"
#include "forms/ResultsDelegate.h"
#include "forms/ResultsModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>

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
    SetUpWholeBar();
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *old, QWidget *now) {
        if (Owns(old) && now && !Owns(now) && !qobject_cast<QMenu *>(now))
            FocusLeft();
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
    connect(model_, &TResultsModel::Counted, this, &TResultsGrid::FollowView);
    connect(model_, &TResultsModel::modelReset, this, &TResultsGrid::FollowView);
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

void TResultsGrid::PlaceCurrent(int row, int column) {
    if (!model_ || row < 0 || row >= model_->rowCount())
        return;
    setCurrentIndex(model_->index(row, std::clamp(column, 0, model_->columnCount() - 1)));
    EnsureEditor();
}

void TResultsGrid::PlacePosition(std::int64_t pos, int column) {
    if (!model_ || pos < 0)
        return;
    if (pos < model_->Base() || pos - model_->Base() >= model_->rowCount())
        model_->ShiftTo(pos - TResultsModel::Span / 2);
    PlaceCurrent(static_cast<int>(pos - model_->Base()), column);
}

bool TResultsGrid::MoveToPosition(std::int64_t pos, int column) {
    if (pos >= model_->Base() && pos - model_->Base() < model_->rowCount())
        return MoveCurrent(static_cast<int>(pos - model_->Base()), column);
    if (!CommitEditor(true) || !ErrorBox::Guard(Boxes(), this, [this] { model_->LeaveRow(); }))
        return false;
    editorIndex_ = QPersistentModelIndex();
    PlacePosition(pos, column);
    return true;
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
    const std::int64_t targetBookmark = model_->Bookmark(row);
    if (cur.isValid() && cur.row() != row) {
        if (!ErrorBox::Guard(Boxes(), this, [this] { model_->LeaveRow(); }))
            return false;
        // A new row stored outside the model's window reads the window afresh: the target is found again.
        if (!target.isValid() && model_->Windowed() && targetBookmark != 0) {
            PlacePosition(model_->PositionAtOrAfter(targetBookmark), column);
            return true;
        }
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
    if (model_ && model_->Windowed())
        PlacePosition(model_->StoredCount() - 1, std::max(0, CurrentColumn()));
    else if (model_ && model_->rowCount() > 0)
        PlaceCurrent(model_->rowCount() - 1, std::max(0, CurrentColumn()));
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

void TResultsGrid::FocusLeft() {
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
    PlacePosition(model_->PositionAtOrAfter(rows.back()), column);
}

void TResultsGrid::DeleteApplicationOfFirstSelected() {
    if (SelectedCount() == 0 || !PostEditing())
        return;
    const std::int64_t first = SelectedAt(0);
    const int column = std::max(0, CurrentColumn());
    try {
        model_->DeleteApplicationOf(first);
    } catch (...) {
        PlacePosition(model_->PositionAtOrAfter(first), column);
        throw;
    }
    PlacePosition(model_->PositionAtOrAfter(first), column);
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
            PlacePosition(model_->PositionAtOrAfter(bookmark), column);
            return;
        }
        if (!PostEditing())
            return;
        const std::vector<std::int64_t> rows(model_->Selection().begin(), model_->Selection().end());
        for (auto it = rows.rbegin(); it != rows.rend(); ++it)
            model_->DeleteBookmark(*it);
        PlacePosition(model_->PositionAtOrAfter(rows.front()), column);
    });
}
