#pragma once
#include "data/Catalogue.h"

#include <QAbstractTableModel>

#include <vector>

// The catalogue lines the software page shows: maker, application, (version,) installs. A click on a column
// title sorts by that column; lines equal in it keep the catalogue's order.
class TCatalogueModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // New lines, in catalogue order, then sorted as the view last asked.
    void SetLines(std::vector<invexa::TCatalogueLine> lines, bool versions);
    // The lines in the order shown.
    const std::vector<invexa::TCatalogueLine> &Lines() const { return lines_; }
    bool Versions() const { return versions_; }
    int SortColumn() const { return sortColumn_; }
    Qt::SortOrder SortOrder() const { return sortOrder_; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    void SortLines();
    int InstallsColumn() const { return versions_ ? 3 : 2; }

    std::vector<invexa::TCatalogueLine> catalogue_; // as given, in catalogue order
    std::vector<invexa::TCatalogueLine> lines_;
    bool versions_ = false;
    int sortColumn_ = 2; // Installs, most first: the catalogue's own order
    Qt::SortOrder sortOrder_ = Qt::DescendingOrder;
};
