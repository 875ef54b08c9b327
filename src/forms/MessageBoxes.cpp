#include "forms/MessageBoxes.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace {

QMessageBox::StandardButton Run(QWidget *parent, QMessageBox::Icon icon, const QString &caption, const QString &text,
                                QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

void TMessageBoxes::ErrorBox(QWidget *parent, const QString &text) {
    Run(parent, QMessageBox::Critical, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok,
        QMessageBox::Ok);
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
