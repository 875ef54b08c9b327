#include "forms/admnMain.h"

#include "base/InvexaError.h"
#include "data/DataFileMerge.h"
#include "data/results.h"
#include "export/CsvExport.h"
#include "forms/Cp1252Text.h"
#include "forms/ErrorBox.h"
#include "forms/IMessageBoxes.h"
#include "forms/Named.h"
#include "forms/ResultsGrid.h"
#include "forms/ResultsModel.h"
#include "forms/SoftwarePage.h"
#include "forms/WindowLook.h"
#include "forms/about.h"
#include "forms/mergmess.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QShowEvent>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

TRuvolaform *Ruvolaform = nullptr;
invexa::TDataModule1 *DataModule1 = nullptr;

namespace {

// The designed client area; the outer frame adds the platform's borders.
constexpr int DesignClientWidth = 752;
constexpr int DesignClientHeight = 473;
constexpr int DesignLeft = 227;
constexpr int DesignTop = 187;

std::string JoinLines(const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &line : lines) {
        if (!text.empty())
            text += '\n';
        text += line;
    }
    return text;
}

} // namespace

TRuvolaform::TRuvolaform(IMessageBoxes &boxes, QWidget *parent) : QMainWindow(parent), boxes_(boxes) {
    WindowLook::InitResources();
    setObjectName(QStringLiteral("Ruvolaform"));
    setWindowTitle(QStringLiteral("Invexa Administrator"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/program.png")));
    setFont(WindowLook::DesignFont(13));

    PageControl1 = Named(new QTabWidget(this), "PageControl1");
    setCentralWidget(PageControl1);
    BuildResultsPage();
    BuildSetupPage();
    PageControl1->setCurrentWidget(ResultsSheet);

    resize(DesignClientWidth, DesignClientHeight);
    move(DesignLeft, DesignTop);
    Guard([this] { FormCreate(); });
    SoftwareSheet = Named(new TSoftwarePage(workDir_, boxes_), "SoftwareSheet"); // counts in WorkDir
    PageControl1->addTab(SoftwareSheet, QStringLiteral("Software"));
}

bool TRuvolaform::Guard(const std::function<void()> &handler) {
    return ErrorBox::Guard(boxes_, this, handler);
}

std::function<void()> TRuvolaform::Guarded(void (TRuvolaform::*handler)()) {
    return [this, handler] { Guard([this, handler] { (this->*handler)(); }); };
}

// ---- results page -------------------------------------------------------------------------------------------

void TRuvolaform::BuildResultsPage() {
    ResultsSheet = Named(new QWidget, "ResultsSheet");
    PageControl1->addTab(ResultsSheet, QStringLiteral("Logged Results"));
    auto *layout = new QVBoxLayout(ResultsSheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildToolBars(ResultsSheet);
    layout->addWidget(ToolBar1);
    layout->addWidget(ToolBar2);
    CreateResultsGrid();
    layout->addWidget(ResultsGrid1, 1);
}

void TRuvolaform::BuildToolBars(QWidget *page) {
    ToolBar1 = Named(new QToolBar(page), "ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFixedHeight(21);
    auto addButton = [this](const char *name, const char *icon, const char *hint, int width,
                            void (TRuvolaform::*handler)()) {
        auto *button = Named(new QToolButton(ToolBar1), name);
        button->setAutoRaise(true);
        button->setIcon(QIcon(QStringLiteral(":/icons/") + QLatin1String(icon)));
        button->setIconSize(QSize(width - 2, 15));
        button->setToolTip(QString::fromLatin1(hint));
        // A picture says nothing to a screen reader: the hint is the button's name.
        button->setAccessibleName(QString::fromLatin1(hint));
        button->setFixedSize(width, 17);
        connect(button, &QToolButton::clicked, this, Guarded(handler));
        ToolBar1->addWidget(button);
        return button;
    };
    EmptyTableBtn = addButton("EmptyTableBtn", "empty-table.png", "Empty Table (Fresh Scans)", 25,
                              &TRuvolaform::EmptyTableBtnClick);
    CSVBtn = addButton("CSVBtn", "csv.png", "CSV Output", 24, &TRuvolaform::CSVBtnClick);
    AboutBtn = addButton("AboutBtn", "about.png", "About", 25, &TRuvolaform::AboutBtnClick);

    ToolBar2 = Named(new QToolBar(page), "ToolBar2");
    ToolBar2->setMovable(false);
    ToolBar2->setFixedHeight(17);
    // The legend stands at a fixed place on the bar, outside the bar's own layout: the bar must not hide it
    // behind an extension button, nor keep the window from narrowing below the legend's width.
    Label4 = Named(new QLabel(QStringLiteral(" Verification Field:  -1=Exe not found   0=Exe Location unknown    "
                                             "1=Exe existance verified    2=On Disk, not in Registry"),
                              ToolBar2),
                   "Label4");
    Label4->setFont(WindowLook::DesignFont(10));
    // Designed 562 wide for its own face; the fallback face is wider, and the legend must not be cut.
    Label4->setGeometry(0, 2, std::max(562, Label4->sizeHint().width()), 13);
}

void TRuvolaform::CreateResultsGrid() {
    ResultsGrid1 = Named(new TResultsGrid(boxes_, ResultsSheet), "ResultsGrid1");
    ResultsGrid1->setAccessibleName(QStringLiteral("Results"));
    connect(ResultsGrid1, &TResultsGrid::TitleClicked, this, Guarded(&TRuvolaform::ResultsGrid1TitleClick));
    BuildGridMenu();
}

void TRuvolaform::BuildGridMenu() {
    GridRightClickMnu = Named(new QMenu(ResultsGrid1), "GridRightClickMnu");
    // The hints are kept with the items; the window has no status line that would show them.
    auto item = [this](const char *name, const char *caption, const char *hint, void (TRuvolaform::*handler)()) {
        QAction *action = GridRightClickMnu->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        action->setStatusTip(QString::fromLatin1(hint));
        action->setToolTip(QString::fromLatin1(hint));
        connect(action, &QAction::triggered, this, Guarded(handler));
        return action;
    };
    DeleteRecordMI =
        item("DeleteRecordMI", "Delete &Record", "Delete the current record", &TRuvolaform::DeleteRecordMIClick);
    DelallReferencesMI =
        item("DelallReferencesMI", "&Del all References",
             "Delete all references in the database of the current application", &TRuvolaform::DelallReferencesMIClick);
    AddtoIgnoreListMI = item("AddtoIgnoreListMI", "&Add to Ignore List", "Add this Application to the Ignore List",
                             &TRuvolaform::AddtoIgnoreListMIClick);
    AddtoIgnoreDelMI = item("AddtoIgnoreDelMI", "&Ignore and Del All", "Add to the ignore list and del all references",
                            &TRuvolaform::AddtoIgnoreDelMIClick);
    Noname = GridRightClickMnu->addSeparator();
    Noname->setObjectName(QStringLiteral("Noname"));
    CopyMI = item("CopyMI", "&Copy", "", &TRuvolaform::CopyMIClick);
    ResultsGrid1->SetPopupMenu(GridRightClickMnu);
}

void TRuvolaform::ConnectDataSource() {
    if (DataSource1 || !DataModule1)
        return;
    DataSource1 = new TResultsModel(DataModule1->Store(), ResultsGrid1);
    ResultsGrid1->SetResultsModel(DataSource1);
    SoftwareSheet->Watch(DataSource1);
}

invexa::TDataModule1 &TRuvolaform::ConnectedData() {
    ConnectDataSource();
    if (!DataModule1)
        throw invexa::EInvexaError("The results table is not available");
    return *DataModule1;
}

void TRuvolaform::ShowResultsTable() {
    ConnectDataSource();
    if (DataSource1)
        ResultsGrid1->Reload();
}

// ---- window events ------------------------------------------------------------------------------------------

void TRuvolaform::showEvent(QShowEvent *event) {
    // Runs before the window is mapped, so the merge finishes before the window comes into view. A restore
    // from the task bar is spontaneous and merges nothing.
    if (!event->spontaneous())
        Guard([this] { FormShow(); });
    QMainWindow::showEvent(event);
}

void TRuvolaform::closeEvent(QCloseEvent *event) {
    // A cell edit not yet written goes to the table before the settings are saved; one that cannot be written is
    // dropped, and the window stays open with the table's value in view.
    if (!ResultsGrid1->PostOrDropEditing() || !Guard([this] { FormClose(); })) {
        event->ignore();
        return;
    }
    event->accept();
    ReleaseSelection();
    emit Closed();
}

void TRuvolaform::ReleaseSelection() {
    // Text selected in a cell editor is this program's X selection. A clipboard manager is asked at exit to keep
    // what the program still owns, and the program waits for it; nobody copied that text, so it is let go here.
    // A cell copied with the grid's Copy stays on the clipboard for the manager to keep.
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard->ownsSelection())
        clipboard->clear(QClipboard::Selection);
}

void TRuvolaform::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    Guard([this] { FormResize(); });
}

// ---- handlers -----------------------------------------------------------------------------------------------

void TRuvolaform::FormCreate() {
    workDir_ = std::filesystem::current_path().string();
    LoadPage(invexa::LoadSettings(workDir_));
    // Last: filling the controls above raised the same notifications as the administrator's own edits.
    flags_ = invexa::TChangeFlags{};
    if (std::optional<std::string> notice = invexa::CutShortSave(workDir_))
        throw invexa::EInvexaError(*notice);
}

void TRuvolaform::FormShow() {
    const invexa::TMergeSummary summary = ConnectedData().Store().Merge(workDir_, mergemessFm);
    ShowResultsTable();
    // Files left in place, and files whose rows replaced another file's under one stored user name, are
    // reported together once the pass is over, the rest having been merged.
    std::vector<std::string> report = summary.Errors;
    for (const std::string &warning : summary.Warnings)
        report.push_back("Warning: " + warning);
    if (!report.empty())
        throw invexa::EInvexaError(JoinLines(report));
}

void TRuvolaform::FormClose() {
    invexa::SaveSettings(workDir_, PageSettings(), flags_);
}

void TRuvolaform::AboutBtnClick() {
    if (AboutBox)
        AboutBox->ShowAndRaise();
}

void TRuvolaform::CSVBtnClick() {
    invexa::TDataModule1 &data = ConnectedData();
    // Like the table's own walk would, the export first writes a pending edit; a refused value stops it.
    if (!ResultsGrid1->PostEditing())
        return;
    // The walk goes through the table's cursor, not the grid: nothing is drawn until the last row is current.
    invexa::CsvExport::Export(data.Store(), invexa::CsvExport::FileName);
    ResultsGrid1->GoLast();
}

void TRuvolaform::EmptyTableBtnClick() {
    invexa::TDataModule1 &data = ConnectedData();
    ResultsGrid1->CancelEditing();
    data.Store().Close();
    // The grid follows the closed table at once, even when emptying it fails.
    ShowResultsTable();
    data.Store().Empty();
}

// ---- results grid commands ----------------------------------------------------------------------------------

// A title click neither sorts nor selects.
void TRuvolaform::ResultsGrid1TitleClick() {}

// Deletes the selected rows (not the current row, whatever the hint says); nothing when none is selected.
void TRuvolaform::DeleteRecordMIClick() {
    ResultsGrid1->DeleteSelectedRows();
}

void TRuvolaform::DelallReferencesMIClick() {
    DeleteAllReferences();
}

void TRuvolaform::AddtoIgnoreListMIClick() {
    AddCurrentToIgnoreList();
}

// The entry comes from the current row and stays whatever the answer; the deletion from the first selected row.
void TRuvolaform::AddtoIgnoreDelMIClick() {
    AddCurrentToIgnoreList();
    DeleteAllReferences();
}

void TRuvolaform::CopyMIClick() {
    invexa::TField field;
    if (!ResultsGrid1->HasCurrentRow() || !ResultsGrid1->CurrentField(field))
        return;
    QGuiApplication::clipboard()->setText(Cp1252Text::ToQString(ResultsGrid1->CurrentText(field)));
}

void TRuvolaform::DeleteAllReferences() {
    if (ResultsGrid1->SelectedCount() == 0)
        return;
    if (!boxes_.Warning(this, QStringLiteral("This will delete all Occurances of this application. Are You Sure?")))
        return;
    // Hidden again on every path out, the failing statement's included.
    invexa::TProgressScope progress(mergemessFm, "Please wait...");
    progress.Step("Deleting records");
    ResultsGrid1->DeleteApplicationOfFirstSelected();
}

// Without a current row there is no application: a lone "\" on the scanners' ignore list would help nobody.
void TRuvolaform::AddCurrentToIgnoreList() {
    if (!ResultsGrid1->HasCurrentRow())
        return;
    AddCurrentToIgnoreList(ResultsGrid1->CurrentText(invexa::TField::AppMaker),
                           ResultsGrid1->CurrentText(invexa::TField::AppName));
}
