#pragma once
#include <string>
#include <vector>

class QListWidget;

// A list box kept in the setup page's order, letter case ignored. Qt's own sorting compares case-sensitively,
// so every entry is placed here instead. Each item keeps its 8-bit bytes beside the shown text.
class TSortedList {
public:
    static void Insert(QListWidget *list, const std::string &entry);
    static void Fill(QListWidget *list, const std::vector<std::string> &entries);
    static std::vector<std::string> Entries(const QListWidget *list);
    // Removes the selected entry, leaving nothing selected; false when none was selected.
    static bool DeleteSelected(QListWidget *list);
};
