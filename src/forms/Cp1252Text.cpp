#include "forms/Cp1252Text.h"

#include "base/Cp1252.h"

QString Cp1252Text::ToQString(std::string_view bytes) {
    return QString::fromUtf8(invexa::Cp1252ToUtf8(bytes));
}

std::string Cp1252Text::ToBytes(const QString &text) {
    return invexa::Utf8ToCp1252(text.toStdString());
}
