#include "forms/SoftwarePage.h"

#include "base/InvexaError.h"
#include "data/results.h"
#include "export/ReportTable.h"
#include "forms/CatalogueModel.h"
#include "forms/ErrorBox.h"
#include "forms/InstallsChart.h"
#include "forms/Named.h"
#include "pgsql/StoreChoice.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <fstream>
#include <functional>

namespace {

QString LineLabel(const invexa::TCatalogueLine &line, bool versions) {
    QString label = QString::fromStdString(line.AppMaker) + ' ' + QString::fromStdString(line.AppName);
    return versions ? label + ' ' + QString::fromStdString(line.Version) : label;
}

// Runs read on the results table of the folder dir, in the store the program chose, through a connection of the
// calling thread's own: what went wrong in the user's words, empty when nothing did.
std::string ReadTable(const std::string &dir, const std::function<void(invexa::TResultsStore &)> &read) {
    std::unique_ptr<invexa::TDataModule1> data;
    try {
        data = invexa::TStoreChoice::Open(dir, invexa::TStoreChoice::Uri(std::nullopt));
        read(data->Store());
    } catch (const std::exception &e) {
        return data ? data->Store().Describe(e) : e.what();
    }
    return {};
}

} // namespace

TSoftwarePage::TSoftwarePage(std::string workDir, IMessageBoxes &boxes, QWidget *parent)
    : QWidget(parent), workDir_(std::move(workDir)), boxes_(boxes) {
    BuildControls();
}

TSoftwarePage::~TSoftwarePage() = default;

void TSoftwarePage::BuildControls() {
    Filterlbl = Named(new QLabel(QStringLiteral("&Filter:"), this), "Filterlbl");
    FilterEB = Named(new QLineEdit(this), "FilterEB");
    Filterlbl->setBuddy(FilterEB);
    VersionsCB = Named(new QCheckBox(QStringLiteral("Versions"), this), "VersionsCB");
    BusyLbl = Named(new QLabel(this), "BusyLbl");
    CatalogueCSVBtn = Named(new QPushButton(QStringLiteral("Save as CSV..."), this), "CatalogueCSVBtn");
    auto *top = new QHBoxLayout;
    top->addWidget(Filterlbl);
    top->addWidget(FilterEB, 1);
    top->addWidget(VersionsCB);
    top->addWidget(BusyLbl, 1);
    top->addWidget(CatalogueCSVBtn);

    // Side by side: the catalogue, the users of its chosen line, the chart; each as high as the page.
    auto *splitter = Named(new QSplitter(Qt::Horizontal, this), "SoftwareSplitter");
    CatalogueGrid = Named(new QTableView(splitter), "CatalogueGrid");
    CatalogueModel = Named(new TCatalogueModel(this), "CatalogueModel");
    CatalogueGrid->setModel(CatalogueModel);
    // The indicator first: enabling sorting sorts by it at once.
    CatalogueGrid->horizontalHeader()->setSortIndicator(CatalogueModel->SortColumn(), CatalogueModel->SortOrder());
    CatalogueGrid->setSortingEnabled(true);
    CatalogueGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    CatalogueGrid->verticalHeader()->hide();
    CatalogueGrid->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    CatalogueGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    CatalogueGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    CatalogueGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto *users = new QWidget(splitter);
    Userslbl = Named(new QLabel(QStringLiteral("Users"), users), "Userslbl");
    Userslbl->setWordWrap(true);
    UsersLB = Named(new QListWidget(users), "UsersLB");
    Userslbl->setBuddy(UsersLB);
    auto *usersLayout = new QVBoxLayout(users);
    usersLayout->setContentsMargins(0, 0, 0, 0);
    usersLayout->addWidget(Userslbl);
    usersLayout->addWidget(UsersLB);
    InstallsChart = Named(new TInstallsChart(splitter), "InstallsChart");
    splitter->setStretchFactor(0, 5);
    splitter->setStretchFactor(1, 2);
    splitter->setStretchFactor(2, 4);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(splitter, 1);

    auto guarded = [this](void (TSoftwarePage::*handler)()) {
        return [this, handler] { ErrorBox::Guard(boxes_, this, [&] { (this->*handler)(); }); };
    };
    connect(FilterEB, &QLineEdit::textChanged, this, guarded(&TSoftwarePage::FilterEBChange));
    connect(VersionsCB, &QCheckBox::clicked, this, guarded(&TSoftwarePage::VersionsCBClick));
    connect(CatalogueGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            guarded(&TSoftwarePage::CatalogueGridSelect));
    connect(CatalogueCSVBtn, &QPushButton::clicked, this, guarded(&TSoftwarePage::CatalogueCSVBtnClick));
}

void TSoftwarePage::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (changed_)
        Refresh();
}

void TSoftwarePage::MarkChanged() {
    changed_ = true;
    // A burst of changes (each deleted row reports itself) makes one count, after the handler that made them.
    QTimer::singleShot(0, this, [this] {
        if (changed_ && isVisible())
            Refresh();
    });
}

void TSoftwarePage::Watch(QAbstractItemModel *results) {
    connect(results, &QAbstractItemModel::modelReset, this, &TSoftwarePage::MarkChanged);
    connect(results, &QAbstractItemModel::rowsRemoved, this, &TSoftwarePage::MarkChanged);
    connect(results, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &, const QModelIndex &, const QList<int> &roles) {
                if (roles.isEmpty() || roles.contains(Qt::DisplayRole) || roles.contains(Qt::EditRole))
                    MarkChanged();
            });
}

void TSoftwarePage::Refresh() {
    changed_ = false;
    const std::uint64_t generation = ++countGeneration_;
    SetBusy(true);
    countJob_.Request([this, generation, dir = workDir_](const std::atomic<bool> &cancel) {
        invexa::TCatalogue::TCounts counts;
        const std::string error =
            ReadTable(dir, [&](invexa::TResultsStore &store) { counts = store.CatalogueCounts(&cancel); });
        if (cancel)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, generation, counts = std::move(counts), error]() mutable {
                ShowCounts(generation, std::move(counts), error);
            },
            Qt::QueuedConnection);
    });
}

void TSoftwarePage::ShowCounts(std::uint64_t generation, invexa::TCatalogue::TCounts counts, const std::string &error) {
    if (generation != countGeneration_)
        return; // a later count is on its way
    counts_ = std::move(counts);
    SetBusy(false);
    if (!error.empty())
        BusyLbl->setText(QString::fromStdString(error));
    ShowLines();
    emit Counted();
}

void TSoftwarePage::SetBusy(bool busy) {
    BusyLbl->setText(busy ? QStringLiteral("Counting...") : QString());
    if (busy)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void TSoftwarePage::ShowLines() {
    const bool versions = VersionsCB->isChecked();
    std::vector<invexa::TCatalogueLine> lines =
        invexa::TCatalogue::Filter(versions ? counts_.Versions : counts_.Apps, FilterEB->text().toStdString());
    std::vector<TInstallsChart::TBar> bars;
    for (std::size_t i = 0; i < lines.size() && i < TInstallsChart::MaxBars; ++i)
        bars.push_back({LineLabel(lines[i], versions), lines[i].Installs});
    InstallsChart->SetBars(std::move(bars));
    CatalogueModel->SetLines(std::move(lines), versions);
    CatalogueGrid->horizontalHeader()->setSortIndicator(CatalogueModel->SortColumn(), CatalogueModel->SortOrder());
    CatalogueGrid->horizontalHeader()->setSectionResizeMode(CatalogueModel->columnCount() - 1,
                                                            QHeaderView::ResizeToContents);
    ++usersGeneration_;
    UsersLB->clear();
    Userslbl->setText(QStringLiteral("Users"));
}

void TSoftwarePage::FilterEBChange() {
    ShowLines();
}

void TSoftwarePage::VersionsCBClick() {
    ShowLines();
}

void TSoftwarePage::CatalogueGridSelect() {
    const int row = CatalogueGrid->currentIndex().row();
    if (row < 0 || row >= CatalogueModel->rowCount())
        return;
    const invexa::TCatalogueLine line = CatalogueModel->Lines()[static_cast<std::size_t>(row)];
    const bool versions = CatalogueModel->Versions();
    const std::uint64_t generation = ++usersGeneration_;
    UsersLB->clear();
    Userslbl->setText(QStringLiteral("Users of ") + LineLabel(line, versions));
    usersJob_.Request([this, generation, line, versions, dir = workDir_](const std::atomic<bool> &cancel) {
        std::vector<std::string> users;
        const std::string error = ReadTable(dir, [&](invexa::TResultsStore &store) {
            users = store.Users(line.AppMaker, line.AppName, versions ? std::optional(line.Version) : std::nullopt);
        });
        if (cancel)
            return;
        QMetaObject::invokeMethod(
            this, [this, generation, users = std::move(users), error] { ShowUsers(generation, users, error); },
            Qt::QueuedConnection);
    });
}

void TSoftwarePage::ShowUsers(std::uint64_t generation, const std::vector<std::string> &users,
                              const std::string &error) {
    if (generation != usersGeneration_)
        return;
    for (const std::string &user : users)
        UsersLB->addItem(QString::fromStdString(user));
    if (!error.empty())
        UsersLB->addItem(QString::fromStdString(error));
    emit UsersListed();
}

void TSoftwarePage::CatalogueCSVBtnClick() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save the catalogue as CSV"),
                                                      QString::fromStdString(workDir_ + "/catalogue.csv"),
                                                      QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (!path.isEmpty())
        WriteCsv(QFile::encodeName(path).toStdString());
}

void TSoftwarePage::WriteCsv(const std::string &path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out)
        invexa::TReportTable::Catalogue(CatalogueModel->Lines(), CatalogueModel->Versions())
            .Write(out, invexa::TReportFormat::Csv);
    out.close();
    if (!out)
        throw invexa::EInvexaError("Cannot write " + path);
}
