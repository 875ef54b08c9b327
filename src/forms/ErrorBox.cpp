#include "forms/ErrorBox.h"

#include "base/InvexaError.h"
#include "forms/IMessageBoxes.h"

#include <exception>
#include <string>

QString ErrorBox::Text(std::string_view message) {
    std::string text(message);
    // Compared as unsigned bytes: a UTF-8 tail byte stands for a character whose code is above "." as well.
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return QString::fromUtf8(text);
}

bool ErrorBox::Guard(IMessageBoxes &boxes, QWidget *parent, const std::function<void()> &handler) {
    try {
        handler();
        return true;
    } catch (const invexa::ERefusal &refusal) {
        boxes.Refusal(parent, QString::fromUtf8(refusal.what()));
    } catch (const std::exception &error) {
        boxes.ErrorBox(parent, Text(error.what()));
    } catch (...) {
        boxes.ErrorBox(parent, Text("Unknown error"));
    }
    return false;
}
