#pragma once
#include "config/SettingsLoadSave.h"

#include <QMainWindow>

#include <functional>
#include <string>
#include <string_view>

class IMessageBoxes;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QAction;
class QMenu;
class QTabWidget;
class QToolBar;
class QToolButton;
class TResultsGrid;
class TResultsModel;
class TSoftwarePage;

namespace invexa {
class TDataModule1;
}

// The main window: the results page, the scan setup page, and every handler of the program but the about
// box's. Its controls are the only copy of the settings between the load in FormCreate and the save in
// FormClose.
class TRuvolaform : public QMainWindow {
    Q_OBJECT
public:
    // Runs FormCreate. The message boxes are the program's real ones unless a test hands in its own.
    explicit TRuvolaform(IMessageBoxes &boxes, QWidget *parent = nullptr);

    const std::string &WorkDir() const { return workDir_; }
    const invexa::TChangeFlags &ChangeFlags() const { return flags_; }
    // The settings as the setup page's controls hold them now.
    invexa::TScanSettings PageSettings() const;
    // Runs a handler through the error wrapper with this window as the boxes' parent.
    bool Guard(const std::function<void()> &handler);
    // The handler as a slot that runs it through Guard.
    std::function<void()> Guarded(void (TRuvolaform::*handler)());

    // The results grid's way onto the ignore list: maker "\" application, never refused.
    void AddCurrentToIgnoreList(std::string_view maker, std::string_view appName);

    void FormCreate();
    void FormShow();
    void FormClose();
    void FormResize();
    void AboutBtnClick();
    void CSVBtnClick();
    void EmptyTableBtnClick();
    void ResultsGrid1TitleClick();
    void DeleteRecordMIClick();
    void DelallReferencesMIClick();
    void AddtoIgnoreListMIClick();
    void AddtoIgnoreDelMIClick();
    void CopyMIClick();
    void AddBtnClick();
    void DeleteBtnClick();
    void AddExeBtnClick();
    void DelExeBtnClick();
    void UseIgnoreCBClick();
    void ScanForExeCBClick();
    void StealthModeCBClick();
    void DistributionEBChange();
    void CloseBtnClick();

    QTabWidget *PageControl1 = nullptr;
    QWidget *ResultsSheet = nullptr;
    QWidget *setupSheet = nullptr;
    TSoftwarePage *SoftwareSheet = nullptr;

    QToolBar *ToolBar1 = nullptr;
    QToolButton *EmptyTableBtn = nullptr;
    QToolButton *CSVBtn = nullptr;
    QToolButton *AboutBtn = nullptr;
    QToolBar *ToolBar2 = nullptr;
    QLabel *Label4 = nullptr;
    TResultsGrid *ResultsGrid1 = nullptr;
    TResultsModel *DataSource1 = nullptr;
    QMenu *GridRightClickMnu = nullptr;
    QAction *DeleteRecordMI = nullptr;
    QAction *DelallReferencesMI = nullptr;
    QAction *AddtoIgnoreListMI = nullptr;
    QAction *AddtoIgnoreDelMI = nullptr;
    QAction *Noname = nullptr;
    QAction *CopyMI = nullptr;

    QLabel *Label1 = nullptr;
    QLineEdit *DistributionEB = nullptr;
    QCheckBox *UseIgnoreCB = nullptr;
    QCheckBox *StealthModeCB = nullptr;
    QCheckBox *ScanForExeCB = nullptr;
    QLabel *StaticText1 = nullptr;
    QLabel *Label3 = nullptr;
    QListWidget *IgnoreLB = nullptr;
    QFrame *Bevel1 = nullptr;
    QListWidget *ExeNamesLB = nullptr;
    QLabel *Makerlbl = nullptr;
    QLabel *AppLbl = nullptr;
    QLabel *ExeNameLbl = nullptr;
    QLineEdit *MakerEB = nullptr;
    QLineEdit *ApplicationEB = nullptr;
    QLineEdit *ExeNameEB = nullptr;
    QPushButton *AddBtn = nullptr;
    QPushButton *DeleteBtn = nullptr;
    QPushButton *CloseBtn = nullptr;
    QPushButton *AddExeBtn = nullptr;
    QPushButton *DelExeBtn = nullptr;

signals:
    // The close went through: the program ends.
    void Closed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void BuildResultsPage();
    void ReleaseSelection();
    void BuildToolBars(QWidget *page);
    void CreateResultsGrid();
    void BuildGridMenu();
    // DataSource1 needs DataModule1, which start-up creates after this window.
    void ConnectDataSource();
    // DataModule1, with DataSource1 on it; throws when start-up has made none.
    invexa::TDataModule1 &ConnectedData();
    void ShowResultsTable();
    void DeleteAllReferences();
    void AddCurrentToIgnoreList();
    void BuildSetupPage();
    void BuildSetupLabels();
    void BuildSetupInputs();
    void BuildSetupButtons();
    void SetSetupTabOrder();
    void ConnectSetupHandlers();
    void LoadPage(const invexa::TScanSettings &settings);

    IMessageBoxes &boxes_;
    std::string workDir_;
    invexa::TChangeFlags flags_;
};

extern TRuvolaform *Ruvolaform;
extern invexa::TDataModule1 *DataModule1;
