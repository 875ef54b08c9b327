#include "forms/ResultsDelegate.h"

#include "data/ResultRow.h"
#include "forms/ResultsModel.h"

#include <QLineEdit>

TResultsDelegate::TResultsDelegate(QObject *keyFilter, QObject *parent)
    : QStyledItemDelegate(parent), keyFilter_(keyFilter) {}

QWidget *TResultsDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                        const QModelIndex &index) const {
    auto *edit = new QLineEdit(parent);
    edit->setFrame(false);
    // The editor's own Undo/Cut/Copy/Paste menu would hide the grid's: its right-clicks and the Menu key go on to
    // the grid.
    edit->setContextMenuPolicy(Qt::NoContextMenu);
    const int width = invexa::FieldWidth(TResultsModel::FieldOfColumn(index.column()));
    if (width > 0)
        edit->setMaxLength(width);
    else
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    (void)option;
    edit->installEventFilter(keyFilter_);
    editor_ = edit;
    return edit;
}
