#pragma once
#include "forms/IMessageBoxes.h"

#include <QString>

#include <deque>
#include <vector>

// Answers the program's message boxes without showing them, and keeps what was asked.
class TScriptedMessageBoxes : public IMessageBoxes {
public:
    enum class TKind { ErrorBox, Refusal, Warning, Confirm };
    struct TShown {
        TKind Kind;
        QString Text;
    };

    void ErrorBox(QWidget *parent, const QString &text) override;
    void Refusal(QWidget *parent, const QString &text) override;
    bool Warning(QWidget *parent, const QString &text) override;
    bool Confirm(QWidget *parent, const QString &text) override;

    // Answers for the next Warning or Confirm boxes, in order; No/Cancel once they run out.
    std::deque<bool> Answers;
    std::vector<TShown> Shown;

    std::vector<QString> Texts(TKind kind) const;
};
