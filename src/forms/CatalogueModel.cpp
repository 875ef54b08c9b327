#include "forms/CatalogueModel.h"

#include <algorithm>

namespace {

const std::string &TextOf(const invexa::TCatalogueLine &line, int column) {
    return column == 0 ? line.AppMaker : column == 1 ? line.AppName : line.Version;
}

} // namespace

void TCatalogueModel::SetLines(std::vector<invexa::TCatalogueLine> lines, bool versions) {
    beginResetModel();
    catalogue_ = std::move(lines);
    if (versions != versions_ && sortColumn_ >= 2) {
        if (versions) {
            ++sortColumn_; // Installs moves right of the new Version column
        } else if (sortColumn_ == 2) {
            sortOrder_ = Qt::DescendingOrder; // the Version column goes: back to the catalogue's own order
        } else {
            sortColumn_ = 2;
        }
    }
    versions_ = versions;
    SortLines();
    endResetModel();
}

int TCatalogueModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

int TCatalogueModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : InstallsColumn() + 1;
}

QVariant TCatalogueModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const invexa::TCatalogueLine &line = lines_[static_cast<std::size_t>(index.row())];
    const bool installs = index.column() == InstallsColumn();
    if (role == Qt::TextAlignmentRole && installs)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    if (installs)
        return QVariant::fromValue(static_cast<qlonglong>(line.Installs));
    return QString::fromStdString(TextOf(line, index.column()));
}

QVariant TCatalogueModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == InstallsColumn())
        return QStringLiteral("Installs");
    static const char *const Titles[] = {"AppMaker", "AppName", "Version"};
    return section >= 0 && section < 3 ? QString::fromLatin1(Titles[section]) : QVariant();
}

void TCatalogueModel::sort(int column, Qt::SortOrder order) {
    emit layoutAboutToBeChanged();
    sortColumn_ = column;
    sortOrder_ = order;
    SortLines();
    emit layoutChanged();
}

// From the catalogue order, a stable sort by the chosen column alone.
void TCatalogueModel::SortLines() {
    lines_ = catalogue_;
    if (sortColumn_ < 0 || sortColumn_ > InstallsColumn())
        return;
    const bool down = sortOrder_ == Qt::DescendingOrder;
    if (sortColumn_ == InstallsColumn()) {
        std::stable_sort(lines_.begin(), lines_.end(), [&](const auto &a, const auto &b) {
            return down ? a.Installs > b.Installs : a.Installs < b.Installs;
        });
        return;
    }
    std::vector<std::pair<std::string, std::size_t>> keys(lines_.size());
    for (std::size_t i = 0; i < lines_.size(); ++i)
        keys[i] = {invexa::TCatalogue::OrderKey(TextOf(lines_[i], sortColumn_)), i};
    std::stable_sort(keys.begin(), keys.end(),
                     [&](const auto &a, const auto &b) { return down ? a.first > b.first : a.first < b.first; });
    std::vector<invexa::TCatalogueLine> sorted;
    sorted.reserve(lines_.size());
    for (const auto &k : keys)
        sorted.push_back(std::move(lines_[k.second]));
    lines_ = std::move(sorted);
}
