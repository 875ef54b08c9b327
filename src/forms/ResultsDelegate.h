#pragma once
#include <QPointer>
#include <QStyledItemDelegate>

#include <QLineEdit>

// The results grid's cell editor: a line edit that takes no more characters than the column holds, and that
// lets the grid see its keys first (Ctrl+Delete, Insert and the row moves belong to the grid, not the editor).
class TResultsDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TResultsDelegate(QObject *keyFilter, QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // The editor most recently made; the grid keeps one open at a time.
    QLineEdit *Editor() const { return editor_; }

private:
    QObject *keyFilter_;
    mutable QPointer<QLineEdit> editor_;
};
