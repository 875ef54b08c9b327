// The main window's scan setup page: its controls, their layout as the window is resized, and their handlers.
#include "forms/admnMain.h"

#include "config/EntryRules.h"
#include "forms/Cp1252Text.h"
#include "forms/Named.h"
#include "forms/SortedList.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

namespace {

QLabel *MakeLabel(QWidget *page, const char *name, const QString &caption, int left, int top) {
    auto *label = Named(new QLabel(caption, page), name);
    label->move(left, top);
    label->adjustSize();
    return label;
}

} // namespace

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
    connect(AddBtn, &QPushButton::clicked, this, Guarded(&TRuvolaform::AddBtnClick));
    connect(DeleteBtn, &QPushButton::clicked, this, Guarded(&TRuvolaform::DeleteBtnClick));
    connect(AddExeBtn, &QPushButton::clicked, this, Guarded(&TRuvolaform::AddExeBtnClick));
    connect(DelExeBtn, &QPushButton::clicked, this, Guarded(&TRuvolaform::DelExeBtnClick));
    connect(CloseBtn, &QPushButton::clicked, this, Guarded(&TRuvolaform::CloseBtnClick));
    // toggled, not clicked: a change made by the program (the load) notifies like the user's own click.
    connect(UseIgnoreCB, &QCheckBox::toggled, this, Guarded(&TRuvolaform::UseIgnoreCBClick));
    connect(ScanForExeCB, &QCheckBox::toggled, this, Guarded(&TRuvolaform::ScanForExeCBClick));
    connect(StealthModeCB, &QCheckBox::toggled, this, Guarded(&TRuvolaform::StealthModeCBClick));
    connect(DistributionEB, &QLineEdit::textChanged, this, Guarded(&TRuvolaform::DistributionEBChange));
}

void TRuvolaform::LoadPage(const invexa::TScanSettings &settings) {
    SortedList::Fill(IgnoreLB, settings.IgnoreList);
    UseIgnoreCB->setChecked(settings.UseIgnoreList);
    ScanForExeCB->setChecked(settings.SearchForExe);
    StealthModeCB->setChecked(settings.StealthMode);
    DistributionEB->setText(Cp1252Text::ToQString(settings.Distribution));
    SortedList::Fill(ExeNamesLB, settings.ExeNames);
}

invexa::TScanSettings TRuvolaform::PageSettings() const {
    invexa::TScanSettings settings;
    settings.IgnoreList = SortedList::Entries(IgnoreLB);
    settings.UseIgnoreList = UseIgnoreCB->isChecked();
    settings.SearchForExe = ScanForExeCB->isChecked();
    settings.StealthMode = StealthModeCB->isChecked();
    settings.Distribution = Cp1252Text::ToBytes(DistributionEB->text());
    settings.ExeNames = SortedList::Entries(ExeNamesLB);
    return settings;
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

void TRuvolaform::AddBtnClick() {
    const std::string entry =
        invexa::MakeIgnoreEntry(Cp1252Text::ToBytes(MakerEB->text()), Cp1252Text::ToBytes(ApplicationEB->text()));
    SortedList::Insert(IgnoreLB, entry);
    flags_.IgnoreListChanged = true;
}

void TRuvolaform::DeleteBtnClick() {
    if (SortedList::DeleteSelected(IgnoreLB))
        flags_.IgnoreListChanged = true;
}

void TRuvolaform::AddExeBtnClick() {
    const std::string entry =
        invexa::MakeExeEntry(Cp1252Text::ToBytes(ApplicationEB->text()), Cp1252Text::ToBytes(ExeNameEB->text()));
    SortedList::Insert(ExeNamesLB, entry);
    flags_.ExeNamesChanged = true;
}

void TRuvolaform::DelExeBtnClick() {
    if (SortedList::DeleteSelected(ExeNamesLB))
        flags_.ExeNamesChanged = true;
}

void TRuvolaform::UseIgnoreCBClick() {
    flags_.SwitchesChanged = true;
}

void TRuvolaform::ScanForExeCBClick() {
    flags_.SwitchesChanged = true;
}

void TRuvolaform::StealthModeCBClick() {
    flags_.SwitchesChanged = true;
}

void TRuvolaform::DistributionEBChange() {
    flags_.SwitchesChanged = true;
}

void TRuvolaform::CloseBtnClick() {
    close();
}

void TRuvolaform::AddCurrentToIgnoreList(std::string_view maker, std::string_view appName) {
    SortedList::Insert(IgnoreLB, invexa::MakeGridIgnoreEntry(maker, appName));
    flags_.IgnoreListChanged = true;
}
