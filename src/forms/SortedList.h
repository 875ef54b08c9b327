#pragma once
#include <string>
#include <vector>

class QListWidget;

// A list box kept in the setup page's order, letter case ignored. Qt's own sorting compares case-sensitively,
// so every entry is placed here instead. Each item keeps its 8-bit bytes beside the shown text.
namespace SortedList {
void Insert(QListWidget *list, const std::string &entry);
void Fill(QListWidget *list, const std::vector<std::string> &entries);
std::vector<std::string> Entries(const QListWidget *list);
// Removes the selected entry, leaving nothing selected; false when none was selected.
bool DeleteSelected(QListWidget *list);
} // namespace SortedList
