#pragma once
#include <QString>

class QWidget;

// Every modal message the windows show goes through this, so that tests can answer them without a person.
class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    // The default error box: the application title as caption, a stop icon, one OK button.
    virtual void ErrorBox(QWidget *parent, const QString &text) = 0;
    // A refused entry: caption "ERROR", no icon, one OK button.
    virtual void Refusal(QWidget *parent, const QString &text) = 0;
    // Caption "WARNING", Yes and No; true only for Yes.
    virtual bool Warning(QWidget *parent, const QString &text) = 0;
    // Caption "Confirm", question icon, OK and Cancel; true only for OK.
    virtual bool Confirm(QWidget *parent, const QString &text) = 0;
};
