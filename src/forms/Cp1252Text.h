#pragma once
#include <QString>

#include <string>
#include <string_view>

// The controls hold Unicode; the settings file, the table and the scan files hold Windows-1252 bytes. Every
// byte value survives the round trip.
namespace Cp1252Text {
QString ToQString(std::string_view bytes);
std::string ToBytes(const QString &text);
} // namespace Cp1252Text
