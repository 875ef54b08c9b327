#include "forms/MessageBoxes.h"

#include <QCoreApplication>
#include <QLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace {

// QMessageBox keeps an indent before its text where an icon would stand; a box without an icon starts its text at
// the margin.
void DropIconIndent(QMessageBox &box) {
    QLayout *layout = box.layout();
    for (int i = 0; layout && i < layout->count(); ++i) {
        if (QSpacerItem *indent = layout->itemAt(i)->spacerItem()) {
            layout->removeItem(indent);
            delete indent;
            return;
        }
    }
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

TMessageBoxes &TMessageBoxes::Instance() {
    static TMessageBoxes boxes;
    return boxes;
}
