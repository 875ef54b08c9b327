#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace invexa {

// Entry rules of the setup page, shared by the window and the tool. Texts are 8-bit bytes.

// Alphabetical, letter case ignored (Windows-1252 letters); <0, 0, >0.
int CompareText(std::string_view a, std::string_view b);
// Where a sorted list box places a new entry: after every entry that compares less or equal.
std::size_t SortedInsertIndex(const std::vector<std::string> &list, std::string_view entry);
void InsertSorted(std::vector<std::string> &list, std::string entry);

// The setup page's ignore entry: maker alone, or maker "\" app. Refuses an empty maker with ERefusal
// "You must enter an Application Maker".
std::string MakeIgnoreEntry(std::string_view maker, std::string_view appName);
// The results grid's ignore entry: always maker "\" app.
std::string MakeGridIgnoreEntry(std::string_view maker, std::string_view appName);
// app "=" exe. Refuses "You must enter an Application name", then "You must enter an EXE file name".
std::string MakeExeEntry(std::string_view appName, std::string_view exeName);

} // namespace invexa
