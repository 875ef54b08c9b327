#pragma once
#include "config/ScanSettings.h"

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
class QStandardItemModel;
class QTabWidget;
class QTableView;
class QToolBar;
class QToolButton;

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
    explicit TRuvolaform(IMessageBoxes *boxes = nullptr, QWidget *parent = nullptr);

    const std::string &WorkDir() const { return WorkDir_; }
    const invexa::TChangeFlags &ChangeFlags() const { return Flags_; }
    // The settings as the setup page's controls hold them now.
    invexa::TScanSettings PageSettings() const;
    IMessageBoxes &MessageBoxes() { return boxes_; }
    // Runs a handler through the error wrapper with this window as the boxes' parent.
    bool Guard(const std::function<void()> &handler);

    // The results grid's way onto the ignore list: maker "\" application, never refused.
    void AddCurrentToIgnoreList(std::string_view maker, std::string_view appName);

    void FormCreate();
    void FormShow();
    void FormClose();
    void FormResize();
    void AboutBtnClick();
    void CSVBtnClick();
    void EmptyTableBtnClick();
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

    QToolBar *ToolBar1 = nullptr;
    QToolButton *EmptyTableBtn = nullptr;
    QToolButton *CSVBtn = nullptr;
    QToolButton *AboutBtn = nullptr;
    QToolBar *ToolBar2 = nullptr;
    QLabel *Label4 = nullptr;
    QTableView *ResultsGrid1 = nullptr;

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
    void BuildToolBars(QWidget *page);
    void CreateResultsGrid();
    void ShowResultsTable();
    void BuildSetupPage();
    void BuildSetupLabels();
    void BuildSetupInputs();
    void BuildSetupButtons();
    void SetSetupTabOrder();
    void ConnectSetupHandlers();
    void LoadPage(const invexa::TScanSettings &settings);

    IMessageBoxes &boxes_;
    QStandardItemModel *resultsModel_ = nullptr;
    std::string WorkDir_;
    invexa::TChangeFlags Flags_;
};

extern TRuvolaform *Ruvolaform;
extern invexa::TDataModule1 *DataModule1;
