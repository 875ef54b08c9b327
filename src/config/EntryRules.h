#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace invexa {

// Entry rules of the setup page, shared by the window and the tool. Texts are 8-bit bytes.

// Sorts a list by CompareFolded (alphabetical, Windows-1252's letter case ignored), keeping equal entries in
// their order: where entry-by-entry insertion after the equal entries would place them.
void SortEntries(std::vector<std::string> &list);
// Where a sorted list box places a new entry: after every entry that compares less or equal.
std::size_t SortedInsertIndex(const std::vector<std::string> &list, std::string_view entry);
void InsertSorted(std::vector<std::string> &list, std::string entry);

// Texts going into the settings file are refused (ERefusal) unless, written there, each stays one entry of its
// own section and adds, changes or removes no other: no line break or NUL anywhere, and a key that is not blank
// once trimmed, does not start with "[" or ";" (it would be a header or a comment) and holds no "=" (its name
// would end there).
void CheckIgnoreEntry(std::string_view entry);                          // blank: "You must enter an Application Maker"
void CheckExeEntry(std::string_view appName, std::string_view exeName); // blank name: "... Application name"
void CheckDistribution(std::string_view text);

// The setup page's ignore entry: maker alone, or maker "\" app. Refuses a maker that is empty or blanks only with
// ERefusal "You must enter an Application Maker", and what CheckIgnoreEntry refuses.
std::string MakeIgnoreEntry(std::string_view maker, std::string_view appName);
// The results grid's ignore entry: always maker "\" app; refuses what CheckIgnoreEntry refuses.
std::string MakeGridIgnoreEntry(std::string_view maker, std::string_view appName);
// app "=" exe. Refuses "You must enter an Application name", then "You must enter an EXE file name", then what
// CheckExeEntry refuses.
std::string MakeExeEntry(std::string_view appName, std::string_view exeName);

} // namespace invexa
