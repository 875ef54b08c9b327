#include "ScriptedMessageBoxes.h"

void TScriptedMessageBoxes::ErrorBox(QWidget *, const QString &text) {
    Shown.push_back({TKind::ErrorBox, text});
}

void TScriptedMessageBoxes::Refusal(QWidget *, const QString &text) {
    Shown.push_back({TKind::Refusal, text});
}

bool TScriptedMessageBoxes::Warning(QWidget *, const QString &text) {
    Shown.push_back({TKind::Warning, text});
    if (Answers.empty())
        return false;
    const bool answer = Answers.front();
    Answers.pop_front();
    return answer;
}

bool TScriptedMessageBoxes::Confirm(QWidget *, const QString &text) {
    Shown.push_back({TKind::Confirm, text});
    if (Answers.empty())
        return false;
    const bool answer = Answers.front();
    Answers.pop_front();
    return answer;
}

std::vector<QString> TScriptedMessageBoxes::Texts(TKind kind) const {
    std::vector<QString> texts;
    for (const TShown &shown : Shown)
        if (shown.Kind == kind)
            texts.push_back(shown.Text);
    return texts;
}
