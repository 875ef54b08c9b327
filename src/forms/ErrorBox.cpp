#include "forms/ErrorBox.h"

#include "base/InvexaError.h"
#include "forms/IMessageBoxes.h"

#include <exception>
#include <string>

QString TErrorBox::Text(std::string_view message) {
    std::string text(message);
    // Compared as unsigned bytes: a UTF-8 tail byte stands for a character whose code is above "." as well.
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return QString::fromUtf8(text);
}

namespace {
std::function<std::string(const std::exception &)> &Describer() {
    static std::function<std::string(const std::exception &)> describe = [](const std::exception &e) {
        return std::string(e.what());
    };
    return describe;
}
} // namespace

void TErrorBox::SetDescribe(std::function<std::string(const std::exception &)> describe) {
    Describer() = std::move(describe);
}

bool TErrorBox::Guard(IMessageBoxes &boxes, QWidget *parent, const std::function<void()> &handler) {
    try {
        handler();
        return true;
    } catch (const invexa::ERefusal &refusal) {
        boxes.Refusal(parent, QString::fromUtf8(refusal.what()));
    } catch (const std::exception &error) {
        boxes.ErrorBox(parent, Text(Describer()(error)));
    } catch (...) {
        boxes.ErrorBox(parent, Text("Unknown error"));
    }
    return false;
}
