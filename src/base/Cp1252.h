#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace invexa {

// Scan files, INVEXA.INI, datadump.csv and the clipboard carry Windows-1252 bytes; the database holds UTF-8.
// The mapping is a bijection on all 256 byte values: the five bytes Windows-1252 leaves undefined map to the
// C1 controls of the same value, so every byte survives a round trip.
std::string Cp1252ToUtf8(std::string_view bytes);
// Characters outside Windows-1252 and malformed UTF-8 become '?'.
std::string Utf8ToCp1252(std::string_view utf8);
void AppendCp1252AsUtf8(std::string &out, std::string_view bytes);
void AppendUtf8AsCp1252(std::string &out, std::string_view utf8);
// Writes utf8 as Windows-1252 at out, which has room for utf8.size() bytes (never more are written); returns the
// end of what was written.
char *CopyUtf8AsCp1252(char *out, std::string_view utf8);

// Whether every byte is ASCII (below 0x80): such text is the same in Windows-1252 and UTF-8.
bool IsAscii(std::string_view bytes);
// Whether the bytes are well-formed UTF-8 (ASCII included).
bool IsUtf8(std::string_view bytes);
// Text typed on a terminal or named by a file system, as the scanners' 8-bit text: UTF-8 converted when every
// character has a byte there, other bytes as they are; nothing when it is UTF-8 that Windows-1252 cannot hold.
std::optional<std::string> AsCp1252(std::string_view bytes);

// The text with every letter in lower case: the key under which texts equal but for letter case are one.
// Cp1252Folded folds Windows-1252's letters (ASCII and the accented ones), for the scanners' 8-bit texts.
// AsciiFolded folds the ASCII letters only, for names whose bytes may be UTF-8 (file names, SQL names): folding
// the upper half would change UTF-8 lead bytes, and with them the order of such names.
std::string Cp1252Folded(std::string_view text);
std::string AsciiFolded(std::string_view text);
// Alphabetical with Windows-1252's letters folded, then by length: <0, 0, >0.
int CompareFolded(std::string_view a, std::string_view b);

} // namespace invexa

namespace invexa {

// Bytes as they may be shown in a message or on a terminal: control characters (C0, DEL and C1, whether a raw
// byte or UTF-8) become \x1b-style escapes, so that a file name cannot move the cursor, recolour or rewrite the
// screen. Everything else, 8-bit text included, is passed through unchanged.
std::string Shown(std::string_view bytes);

} // namespace invexa
