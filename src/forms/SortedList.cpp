#include "forms/SortedList.h"

#include "config/EntryRules.h"
#include "forms/Cp1252Text.h"

#include <QListWidget>

#include <algorithm>

namespace {

constexpr int BytesRole = Qt::UserRole;

QListWidgetItem *NewItem(const std::string &entry) {
    auto *item = new QListWidgetItem(Cp1252Text::ToQString(entry));
    item->setData(BytesRole, QByteArray::fromStdString(entry));
    return item;
}

} // namespace

void SortedList::Insert(QListWidget *list, const std::string &entry) {
    const std::size_t at = invexa::SortedInsertIndex(Entries(list), entry);
    list->insertItem(static_cast<int>(at), NewItem(entry));
}

void SortedList::Fill(QListWidget *list, const std::vector<std::string> &entries) {
    // One sort instead of one insertion each: an insertion reads the whole list, and a loaded list may hold
    // hundreds of thousands of entries. A stable sort leaves equal entries in the order an insertion after its
    // equals would.
    std::vector<std::string> sorted = entries;
    invexa::SortEntries(sorted);
    list->clear();
    for (const std::string &entry : sorted)
        list->addItem(NewItem(entry));
}

std::vector<std::string> SortedList::Entries(const QListWidget *list) {
    std::vector<std::string> entries;
    entries.reserve(list->count());
    for (int i = 0; i < list->count(); ++i)
        entries.push_back(list->item(i)->data(BytesRole).toByteArray().toStdString());
    return entries;
}

bool SortedList::DeleteSelected(QListWidget *list) {
    const QList<QListWidgetItem *> selected = list->selectedItems();
    if (selected.isEmpty())
        return false;
    delete list->takeItem(list->row(selected.first()));
    list->clearSelection();
    list->setCurrentRow(-1);
    return true;
}
