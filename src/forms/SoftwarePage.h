#pragma once
#include "data/Catalogue.h"
#include "forms/LatestJob.h"

#include <QWidget>

#include <cstdint>
#include <string>

class IMessageBoxes;
class QAbstractItemModel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;
class TCatalogueModel;
class TInstallsChart;

// The "Software" page: how many users have each application, who they are, and a chart of the applications
// installed most. The counting runs on a worker thread with a connection of its own, in the short
// transactions of TCatalogue; the filter works on the counted lines, on this thread. The page counts when it
// is shown after the table changed (MarkChanged), and a count asked for while another runs replaces it.
class TSoftwarePage : public QWidget {
    Q_OBJECT
public:
    TSoftwarePage(std::string workDir, IMessageBoxes &boxes, QWidget *parent = nullptr);
    ~TSoftwarePage() override;

    // The table changed: count again now when the page is visible, else when it is next shown.
    void MarkChanged();
    // Marks the page changed at every change of the table that the results grid's model reports.
    void Watch(QAbstractItemModel *results);
    // Counts again at once.
    void Refresh();
    // Writes the lines shown, in the form of "invexa catalogue --format csv".
    void WriteCsv(const std::string &path) const;

    void FilterEBChange();
    void VersionsCBClick();
    void CatalogueGridSelect();
    void CatalogueCSVBtnClick();

    QLabel *Filterlbl = nullptr;
    QLineEdit *FilterEB = nullptr;
    QCheckBox *VersionsCB = nullptr;
    QLabel *BusyLbl = nullptr;
    QPushButton *CatalogueCSVBtn = nullptr;
    QTableView *CatalogueGrid = nullptr;
    TCatalogueModel *CatalogueModel = nullptr;
    QLabel *Userslbl = nullptr;
    QListWidget *UsersLB = nullptr;
    TInstallsChart *InstallsChart = nullptr;

signals:
    // A count has been shown (or failed); for tests and whoever waits on the page.
    void Counted();
    void UsersListed();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void BuildControls();
    void ShowLines();
    void SetBusy(bool busy);
    void ShowCounts(std::uint64_t generation, invexa::TCatalogue::TCounts counts, const std::string &error);
    void ShowUsers(std::uint64_t generation, const std::vector<std::string> &users, const std::string &error);

    std::string workDir_;
    IMessageBoxes &boxes_;
    invexa::TCatalogue::TCounts counts_;
    bool changed_ = true;
    std::uint64_t countGeneration_ = 0;
    std::uint64_t usersGeneration_ = 0;
    // Declared last: destroyed first, so no work runs once the members it reports to are gone.
    TLatestJob countJob_;
    TLatestJob usersJob_;
};
