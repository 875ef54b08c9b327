// The grid's scroll bar over a table larger than the model's window.
#include "forms/ResultsGrid.h"

#include "forms/ResultsModel.h"

#include <QScrollBar>

#include <algorithm>

void TResultsGrid::SetUpWholeBar() {
    wholeBar_ = new QScrollBar(Qt::Vertical, this);
    wholeBar_->setObjectName(QStringLiteral("WholeTableBar"));
    wholeBar_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    addScrollBarWidget(wholeBar_, Qt::AlignTop);
    wholeBar_->hide();
    connect(wholeBar_, &QScrollBar::valueChanged, this, [this](int value) {
        if (!syncing_)
            ScrollToPosition(value);
    });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        FollowView();
        MoveOnAtEdge();
    });
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, &TResultsGrid::FollowView);
}

void TResultsGrid::FollowView() {
    QScrollBar *view = verticalScrollBar();
    const bool whole = model_ && model_->Windowed();
    if (whole == wholeBar_->isHidden()) {
        // The view's bar stays in its place, hidden, so that the whole table's bar shows wherever it would.
        setVerticalScrollBarPolicy(whole ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
        view->setVisible(!whole);
        wholeBar_->setVisible(whole);
    }
    if (!whole || syncing_)
        return;
    syncing_ = true;
    const int visible = VisibleRows();
    const auto top = model_->Base() + view->value();
    wholeBar_->setRange(0, static_cast<int>(std::max<std::int64_t>(0, model_->CountSoFar() - visible)));
    wholeBar_->setPageStep(visible);
    wholeBar_->setValue(static_cast<int>(top));
    syncing_ = false;
}

void TResultsGrid::MoveOnAtEdge() {
    QScrollBar *view = verticalScrollBar();
    if (syncing_ || !model_ || !model_->Windowed())
        return;
    const bool pastEnd = view->value() >= view->maximum() && view->maximum() > 0 && !model_->AtEnd();
    if (pastEnd || (view->value() <= view->minimum() && model_->Base() > 0))
        ScrollToPosition(model_->Base() + view->value());
}

void TResultsGrid::ScrollToPosition(std::int64_t top) {
    QScrollBar *view = verticalScrollBar();
    const std::int64_t base = model_->Base();
    const std::int64_t at = top - base;
    // Inside the window, or at an edge of it that is the table's own.
    if (at >= 0 && at <= view->maximum() && (at > 0 || base == 0) && (at < view->maximum() || model_->AtEnd())) {
        view->setValue(static_cast<int>(at));
        return;
    }
    // A pending edit or new row keeps the window where it is: it is written when its row is left.
    if (model_->EditRow() >= 0) {
        FollowView();
        return;
    }
    const std::int64_t current = HasCurrentRow() ? base + CurrentRow() : -1;
    const int column = std::max(0, CurrentColumn());
    syncing_ = true;
    model_->ShiftTo(top - TResultsModel::Span / 2);
    editorIndex_ = QPersistentModelIndex();
    selecting_ = false;
    const std::int64_t first = model_->Base();
    const bool kept = current >= first && current - first < model_->rowCount();
    PlaceCurrent(static_cast<int>((kept ? current : top) - first), column);
    view->setValue(static_cast<int>(top - first));
    syncing_ = false;
    FollowView();
}
