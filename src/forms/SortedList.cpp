#include "forms/SortedList.h"

#include "config/SetupEntries.h"
#include "forms/Cp1252Text.h"

#include <QListWidget>

namespace {

constexpr int BytesRole = Qt::UserRole;

} // namespace

void TSortedList::Insert(QListWidget *list, const std::string &entry) {
    const std::size_t at = invexa::SortedInsertIndex(Entries(list), entry);
    auto *item = new QListWidgetItem(TCp1252Text::ToQString(entry));
    item->setData(BytesRole, QByteArray::fromStdString(entry));
    list->insertItem(static_cast<int>(at), item);
}

void TSortedList::Fill(QListWidget *list, const std::vector<std::string> &entries) {
    list->clear();
    for (const std::string &entry : entries)
        Insert(list, entry);
}

std::vector<std::string> TSortedList::Entries(const QListWidget *list) {
    std::vector<std::string> entries;
    entries.reserve(list->count());
    for (int i = 0; i < list->count(); ++i)
        entries.push_back(list->item(i)->data(BytesRole).toByteArray().toStdString());
    return entries;
}

bool TSortedList::DeleteSelected(QListWidget *list) {
    const QList<QListWidgetItem *> selected = list->selectedItems();
    if (selected.isEmpty())
        return false;
    delete list->takeItem(list->row(selected.first()));
    list->clearSelection();
    list->setCurrentRow(-1);
    return true;
}
