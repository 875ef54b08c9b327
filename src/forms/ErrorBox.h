#pragma once
#include <QString>

#include <functional>
#include <string_view>

class IMessageBoxes;
class QWidget;

// The one place where a handler's exception becomes a message: every handler of every window runs through
// Guard, so that no exception ever crosses Qt's event loop.
namespace ErrorBox {
// The error's message with "." appended when its last character's code is above that of ".".
QString Text(std::string_view message);

// Runs the handler. A refused entry (ERefusal) goes to the "ERROR" box, any other exception to the default
// error box with its message as the core put it. Returns false when the handler ended in an exception.
bool Guard(IMessageBoxes &boxes, QWidget *parent, const std::function<void()> &handler);
} // namespace ErrorBox
