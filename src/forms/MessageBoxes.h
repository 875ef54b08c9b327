#pragma once
#include "forms/IMessageBoxes.h"

// The real boxes, shown modally with QMessageBox.
class TMessageBoxes : public IMessageBoxes {
public:
    void ErrorBox(QWidget *parent, const QString &text) override;
    void Refusal(QWidget *parent, const QString &text) override;
    bool Warning(QWidget *parent, const QString &text) override;
    bool Confirm(QWidget *parent, const QString &text) override;
};
