#include "forms/admnMain.h"

#include "base/InvexaError.h"
#include "config/EntryRules.h"
#include "data/DataFileMerge.h"
#include "data/results.h"
#include "export/CsvExport.h"
#include "forms/Cp1252Text.h"
#include "forms/ErrorBox.h"
#include "forms/IMessageBoxes.h"
#include "forms/ResultsGrid.h"
#include "forms/ResultsModel.h"
#include "forms/SoftwarePage.h"
#include "forms/SortedList.h"
#include "forms/WindowLook.h"
#include "forms/about.h"
#include "forms/mergmess.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
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

template <class W> W *Named(W *widget, const char *name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel *MakeLabel(QWidget *page, const char *name, const QString &caption, int left, int top) {
    auto *label = Named(new QLabel(caption, page), name);
    label->move(left, top);
    label->adjustSize();
    return label;
}

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
    TWindowLook::InitResources();
    setObjectName(QStringLiteral("Ruvolaform"));
    setWindowTitle(QStringLiteral("Invexa Administrator"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/program.png")));
    setFont(TWindowLook::DesignFont(13));

    PageControl1 = Named(new QTabWidget(this), "PageControl1");
    setCentralWidget(PageControl1);
    BuildResultsPage();
    BuildSetupPage();
    PageControl1->setCurrentWidget(ResultsSheet);

    resize(DesignClientWidth, DesignClientHeight);
    move(DesignLeft, DesignTop);
    Guard([this] { FormCreate(); });
    SoftwareSheet = Named(new TSoftwarePage(WorkDir_, boxes_), "SoftwareSheet"); // counts in WorkDir
    PageControl1->addTab(SoftwareSheet, QStringLiteral("Software"));
}

bool TRuvolaform::Guard(const std::function<void()> &handler) {
    return ErrorBox::Guard(boxes_, this, handler);
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
        connect(button, &QToolButton::clicked, this,
                [this, handler] { Guard([this, handler] { (this->*handler)(); }); });
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
    Label4->setFont(TWindowLook::DesignFont(10));
    // Designed 562 wide for its own face; the fallback face is wider, and the legend must not be cut.
    Label4->setGeometry(0, 2, std::max(562, Label4->sizeHint().width()), 13);
}

void TRuvolaform::CreateResultsGrid() {
    ResultsGrid1 = Named(new TResultsGrid(boxes_, ResultsSheet), "ResultsGrid1");
    ResultsGrid1->setAccessibleName(QStringLiteral("Results"));
    connect(ResultsGrid1, &TResultsGrid::TitleClicked, this, [this] { Guard([this] { ResultsGrid1TitleClick(); }); });
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
        connect(action, &QAction::triggered, this, [this, handler] { Guard([this, handler] { (this->*handler)(); }); });
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
    DataSource1 = new TResultsModel(*DataModule1, ResultsGrid1);
    ResultsGrid1->SetResultsModel(DataSource1);
    SoftwareSheet->Watch(DataSource1);
}

void TRuvolaform::ShowResultsTable() {
    ConnectDataSource();
    if (DataSource1)
        ResultsGrid1->Reload();
}

// ---- setup page ---------------------------------------------------------------------------------------------

void TRuvolaform::BuildSetupPage() {
    setupSheet = Named(new QWidget, "setupSheet");
    PageControl1->addTab(setupSheet, QStringLiteral("Scan Setup"));
    BuildSetupInputs();
    BuildSetupButtons();
    BuildSetupLabels();
    SetSetupTabOrder();
    ConnectSetupHandlers();
}

void TRuvolaform::BuildSetupInputs() {
    QWidget *page = setupSheet;
    auto edit = [page](const char *name, int left, int top, int width) {
        auto *box = Named(new QLineEdit(page), name);
        box->setGeometry(left, top, width, 24);
        return box;
    };
    auto check = [page](const char *name, const char *caption, int left, int width) {
        auto *box = Named(new QCheckBox(QString::fromLatin1(caption), page), name);
        box->setGeometry(left, 24, width, 25);
        box->setChecked(true);
        return box;
    };
    // Each list is named as its heading names it, for screen readers.
    auto list = [page](const char *name, int left, const char *accessibleName) {
        auto *box = Named(new QListWidget(page), name);
        box->setAccessibleName(QString::fromLatin1(accessibleName));
        box->setSelectionMode(QAbstractItemView::SingleSelection);
        box->setGeometry(left, 72, 353, 289);
        return box;
    };
    DistributionEB = edit("DistributionEB", 80, 0, 177);
    UseIgnoreCB = check("UseIgnoreCB", "&Use Ignore List", 8, 145);
    StealthModeCB = check("StealthModeCB", "&Stealth Mode", 136, 113);
    ScanForExeCB = check("ScanForExeCB", "Scan Drives for  &EXE files", 384, 185);
    IgnoreLB = list("IgnoreLB", 0, "Ignored applications");
    ExeNamesLB = list("ExeNamesLB", 376, "Application executable names");
    MakerEB = edit("MakerEB", 0, 384, 177);
    ApplicationEB = edit("ApplicationEB", 280, 384, 177);
    ExeNameEB = edit("ExeNameEB", 536, 384, 185);

    Bevel1 = Named(new QFrame(page), "Bevel1");
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Bevel1->setGeometry(360, 24, 4, 345);
}

void TRuvolaform::BuildSetupButtons() {
    QWidget *page = setupSheet;
    auto button = [page](const char *name, const char *caption, int left, int width) {
        auto *b = Named(new QPushButton(QString::fromLatin1(caption), page), name);
        b->setAutoDefault(false);
        b->setGeometry(left, 416, width, 25);
        return b;
    };
    AddBtn = button("AddBtn", "&Add", 48, 105);
    DeleteBtn = button("DeleteBtn", "De&lete", 192, 97);
    CloseBtn = button("CloseBtn", "&Close", 320, 81);
    AddExeBtn = button("AddExeBtn", "A&dd", 440, 97);
    DelExeBtn = button("DelExeBtn", "Delete", 568, 89);
}

void TRuvolaform::BuildSetupLabels() {
    QWidget *page = setupSheet;
    Label1 = MakeLabel(page, "Label1", QStringLiteral("Distribution"), 8, 8);
    Label1->setBuddy(DistributionEB);
    StaticText1 = Named(new QLabel(QStringLiteral("These Applications will be ignored during the Registry Scan"), page),
                        "StaticText1");
    StaticText1->setGeometry(0, 48, 357, 20);
    Label3 = MakeLabel(page, "Label3", QStringLiteral("Application Executable names"), 376, 48);
    Label3->setBuddy(ExeNamesLB);
    Makerlbl = MakeLabel(page, "Makerlbl", QStringLiteral("&Maker"), 48, 368);
    Makerlbl->setBuddy(MakerEB);
    // The access key of this label would otherwise lead nowhere; users expect it to reach its edit box.
    AppLbl = MakeLabel(page, "AppLbl", QStringLiteral("A&pplication name"), 312, 368);
    AppLbl->setBuddy(ApplicationEB);
    ExeNameLbl = MakeLabel(page, "ExeNameLbl", QStringLiteral("&Exe name"), 560, 368);
    ExeNameLbl->setBuddy(ExeNameEB);
}

void TRuvolaform::SetSetupTabOrder() {
    const QWidget *order[] = {UseIgnoreCB, IgnoreLB,  ScanForExeCB, MakerEB,   ApplicationEB, AddBtn,         DeleteBtn,
                              ExeNamesLB,  ExeNameEB, AddExeBtn,    DelExeBtn, StealthModeCB, DistributionEB, CloseBtn};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(const_cast<QWidget *>(order[i - 1]), const_cast<QWidget *>(order[i]));
}

void TRuvolaform::ConnectSetupHandlers() {
    auto onClick = [this](QPushButton *button, void (TRuvolaform::*handler)()) {
        connect(button, &QPushButton::clicked, this,
                [this, handler] { Guard([this, handler] { (this->*handler)(); }); });
    };
    onClick(AddBtn, &TRuvolaform::AddBtnClick);
    onClick(DeleteBtn, &TRuvolaform::DeleteBtnClick);
    onClick(AddExeBtn, &TRuvolaform::AddExeBtnClick);
    onClick(DelExeBtn, &TRuvolaform::DelExeBtnClick);
    onClick(CloseBtn, &TRuvolaform::CloseBtnClick);
    // toggled, not clicked: a change made by the program (the load) notifies like the user's own click.
    auto onToggle = [this](QCheckBox *box, void (TRuvolaform::*handler)()) {
        connect(box, &QCheckBox::toggled, this, [this, handler] { Guard([this, handler] { (this->*handler)(); }); });
    };
    onToggle(UseIgnoreCB, &TRuvolaform::UseIgnoreCBClick);
    onToggle(ScanForExeCB, &TRuvolaform::ScanForExeCBClick);
    onToggle(StealthModeCB, &TRuvolaform::StealthModeCBClick);
    connect(DistributionEB, &QLineEdit::textChanged, this, [this] { Guard([this] { DistributionEBChange(); }); });
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
    WorkDir_ = std::filesystem::current_path().string();
    LoadPage(invexa::LoadSettings(WorkDir_));
    // Last: filling the controls above raised the same notifications as the administrator's own edits.
    Flags_ = invexa::TChangeFlags{};
    if (std::optional<std::string> notice = invexa::CutShortSave(WorkDir_))
        throw invexa::EInvexaError(*notice);
}

void TRuvolaform::LoadPage(const invexa::TScanSettings &settings) {
    TSortedList::Fill(IgnoreLB, settings.IgnoreList);
    UseIgnoreCB->setChecked(settings.UseIgnoreList);
    ScanForExeCB->setChecked(settings.SearchForExe);
    StealthModeCB->setChecked(settings.StealthMode);
    DistributionEB->setText(Cp1252Text::ToQString(settings.Distribution));
    TSortedList::Fill(ExeNamesLB, settings.ExeNames);
}

invexa::TScanSettings TRuvolaform::PageSettings() const {
    invexa::TScanSettings settings;
    settings.IgnoreList = TSortedList::Entries(IgnoreLB);
    settings.UseIgnoreList = UseIgnoreCB->isChecked();
    settings.SearchForExe = ScanForExeCB->isChecked();
    settings.StealthMode = StealthModeCB->isChecked();
    settings.Distribution = Cp1252Text::ToBytes(DistributionEB->text());
    settings.ExeNames = TSortedList::Entries(ExeNamesLB);
    return settings;
}

void TRuvolaform::FormShow() {
    ConnectDataSource();
    if (!DataModule1)
        throw invexa::EInvexaError("The results table is not available");
    invexa::TDataFileMerge merge(*DataModule1, WorkDir_, mergemessFm);
    const invexa::TMergeSummary summary = merge.Run();
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
    invexa::SaveSettings(WorkDir_, PageSettings(), Flags_);
}

void TRuvolaform::FormResize() {
    const int W = width() > 743 ? width() : 743;
    const int H = height() > 500 ? height() : 500;
    const int M = W / 2;
    // Each control keeps whatever the rule leaves unchanged (its designed value).
    auto place = [](QWidget *w, int left, int top) { w->move(left, top); };
    auto bounds = [](QWidget *w, int left, int top, int width, int height) {
        w->setGeometry(left, top, width, height);
    };
    bounds(IgnoreLB, 0, 70, M - 7, H - 211);
    place(Makerlbl, 48, H - 132);
    place(MakerEB, MakerEB->x(), H - 116);
    place(AddBtn, 48, H - 84);
    place(DeleteBtn, 192, H - 84);
    bounds(Bevel1, M, Bevel1->y(), Bevel1->width(), H - 187);
    place(AppLbl, M - 48, H - 132);
    place(ApplicationEB, M - 80, H - 116);
    place(ScanForExeCB, M + 24, 24);
    bounds(ExeNamesLB, M + 8, 70, W - M - 16, H - 211);
    place(ExeNameLbl, W - 183, H - 132);
    place(CloseBtn, M - 40, H - 84);
    place(ExeNameEB, W - 207, H - 116);
    place(AddExeBtn, W - 303, H - 84);
    place(DelExeBtn, W - 175, H - 84);
    place(Label3, M + 16, Label3->y());
}

void TRuvolaform::AboutBtnClick() {
    if (AboutBox)
        AboutBox->ShowAndRaise();
}

void TRuvolaform::CSVBtnClick() {
    if (!DataModule1)
        throw invexa::EInvexaError("The results table is not available");
    ConnectDataSource();
    // Like the table's own walk would, the export first writes a pending edit; a refused value stops it.
    if (!ResultsGrid1->PostEditing())
        return;
    // The walk goes through the table's cursor, not the grid: nothing is drawn until the last row is current.
    invexa::CsvExport::Export(DataModule1->resultsTbl, invexa::CsvExport::FileName);
    ResultsGrid1->GoLast();
}

void TRuvolaform::EmptyTableBtnClick() {
    if (!DataModule1)
        throw invexa::EInvexaError("The results table is not available");
    ConnectDataSource();
    ResultsGrid1->CancelEditing();
    DataModule1->resultsTbl.Close();
    // The grid follows the closed table at once, even when emptying it fails.
    ShowResultsTable();
    DataModule1->resultsTbl.Empty();
}

void TRuvolaform::AddBtnClick() {
    const std::string entry =
        invexa::MakeIgnoreEntry(Cp1252Text::ToBytes(MakerEB->text()), Cp1252Text::ToBytes(ApplicationEB->text()));
    TSortedList::Insert(IgnoreLB, entry);
    Flags_.IgnoreListChanged = true;
}

void TRuvolaform::DeleteBtnClick() {
    if (TSortedList::DeleteSelected(IgnoreLB))
        Flags_.IgnoreListChanged = true;
}

void TRuvolaform::AddExeBtnClick() {
    const std::string entry =
        invexa::MakeExeEntry(Cp1252Text::ToBytes(ApplicationEB->text()), Cp1252Text::ToBytes(ExeNameEB->text()));
    TSortedList::Insert(ExeNamesLB, entry);
    Flags_.ExeNamesChanged = true;
}

void TRuvolaform::DelExeBtnClick() {
    if (TSortedList::DeleteSelected(ExeNamesLB))
        Flags_.ExeNamesChanged = true;
}

void TRuvolaform::UseIgnoreCBClick() {
    Flags_.SwitchesChanged = true;
}
void TRuvolaform::ScanForExeCBClick() {
    Flags_.SwitchesChanged = true;
}
void TRuvolaform::StealthModeCBClick() {
    Flags_.SwitchesChanged = true;
}
void TRuvolaform::DistributionEBChange() {
    Flags_.SwitchesChanged = true;
}

void TRuvolaform::CloseBtnClick() {
    close();
}

void TRuvolaform::AddCurrentToIgnoreList(std::string_view maker, std::string_view appName) {
    TSortedList::Insert(IgnoreLB, invexa::MakeGridIgnoreEntry(maker, appName));
    Flags_.IgnoreListChanged = true;
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
