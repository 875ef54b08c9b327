#include "forms/MessageBoxes.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace {

// QMessageBox keeps an indent before its text where an icon would stand, and its empty column takes a share of a
// wide box; a box without an icon has its text start at the margin.
void DropIconIndent(QMessageBox &box) {
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    QWidget *text = box.findChild<QWidget *>(QStringLiteral("qt_msgbox_label"));
    if (!grid || !text)
        return;
    for (int i = grid->count() - 1; i >= 0; --i) {
        if (QSpacerItem *indent = grid->itemAt(i)->spacerItem()) {
            grid->removeItem(indent);
            delete indent;
        }
    }
    grid->removeWidget(text);
    grid->addWidget(text, 0, 0, 1, grid->columnCount());
}

QMessageBox::StandardButton Run(QWidget *parent, QMessageBox::Icon icon, const QString &caption, const QString &text,
                                QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, caption, text, buttons, parent);
    if (icon == QMessageBox::NoIcon)
        DropIconIndent(box);
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

void TMessageBoxes::ErrorBox(QWidget *parent, const QString &text) {
    Run(parent, QMessageBox::Critical, QCoreApplication::applicationName(), text, QMessageBox::Ok, QMessageBox::Ok);
}

void TMessageBoxes::Refusal(QWidget *parent, const QString &text) {
    Run(parent, QMessageBox::NoIcon, QStringLiteral("ERROR"), text, QMessageBox::Ok, QMessageBox::Ok);
}

bool TMessageBoxes::Warning(QWidget *parent, const QString &text) {
    return Run(parent, QMessageBox::NoIcon, QStringLiteral("WARNING"), text, QMessageBox::Yes | QMessageBox::No,
               QMessageBox::Yes) == QMessageBox::Yes;
}

bool TMessageBoxes::Confirm(QWidget *parent, const QString &text) {
    return Run(parent, QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::Ok | QMessageBox::Cancel,
               QMessageBox::Ok) == QMessageBox::Ok;
}
