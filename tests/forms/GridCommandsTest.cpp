// The pop-up menu's commands and the two table buttons in the real window: which of the current row, the
// selection and the current cell each one uses, the WARNING question, the progress window and the clipboard.
#include "ModalBoxAnswerer.h"
#include "WindowTest.h"
#include "data/results.h"
#include "forms/MessageBoxes.h"
#include "forms/ResultsGrid.h"
#include "forms/ResultsModel.h"
#include "forms/admnMain.h"
#include "forms/mergmess.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QToolButton>

using invexa::TField;
using TKind = TScriptedMessageBoxes::TKind;

namespace {
const QString Warning = "This will delete all Occurances of this application. Are You Sure?";
}

// Rows 0..11 of user01: row i has maker "M<i % 3>", application "A<i % 2>" (row 10 none), version "<i>" and
// Verification i % 4 - 1, so an application's rows are spread over the table.
class GridCommandsTest : public WindowTest {
protected:
    void StartWith(IMessageBoxes *messageBoxes = nullptr) {
        CreateDatabase();
        std::vector<invexa::TResultsRec> records;
        for (int i = 0; i < 12; ++i)
            records.push_back(Record("M" + std::to_string(i % 3), i == 10 ? "" : "A" + std::to_string(i % 2),
                                     std::to_string(i), i % 4 - 1, "C:\\p" + std::to_string(i)));
        WriteScanFile("ivx/user01.ivx", records);
        Start(messageBoxes);
        grid = Find<TResultsGrid>("ResultsGrid1");
        ASSERT_EQ(grid->model()->rowCount(), 12);
    }
    void Click(int row, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = Qt::NoModifier,
               int column = 1) {
        const QModelIndex index = grid->model()->index(row, column);
        grid->scrollTo(index);
        const QPoint at = grid->visualRect(index).center();
        QWidget *target = grid->viewport()->childAt(at);
        if (!target)
            target = grid->viewport();
        QTest::mouseClick(target, button, mods, target->mapFrom(grid->viewport(), at));
    }
    void Menu(const char *item) {
        auto *action = window->findChild<QAction *>(QString::fromLatin1(item));
        ASSERT_NE(action, nullptr) << item;
        action->trigger();
    }
    // The versions still stored, which name the original rows.
    std::vector<std::string> Versions() {
        std::vector<std::string> versions;
        for (const auto &row : DataModule1->resultsTbl.ReadAfter(0, 1000))
            versions.push_back(row.Version);
        return versions;
    }
    TResultsGrid *grid = nullptr;
};

TEST_F(GridCommandsTest, MenuHasTheItemsInOrderWithCaptionsAndHints) {
    StartWith();
    auto *menu = Find<QMenu>("GridRightClickMnu");
    const std::vector<std::pair<QString, QString>> expected = {
        {"Delete &Record", "Delete the current record"},
        {"&Del all References", "Delete all references in the database of the current application"},
        {"&Add to Ignore List", "Add this Application to the Ignore List"},
        {"&Ignore and Del All", "Add to the ignore list and del all references"},
        {"", ""},
        {"&Copy", ""}};
    ASSERT_EQ(menu->actions().size(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(menu->actions()[i]->text(), expected[i].first) << i;
        EXPECT_EQ(menu->actions()[i]->statusTip(), expected[i].second) << i;
        EXPECT_TRUE(menu->actions()[i]->isEnabled()) << i;
    }
    EXPECT_TRUE(menu->actions()[4]->isSeparator());
}

TEST_F(GridCommandsTest, RightClickThenDeleteRecordDeletesExactlyThatRowWithoutAsking) {
    StartWith();
    Click(4, Qt::RightButton);
    Menu("DeleteRecordMI");
    EXPECT_TRUE(boxes.Shown.empty());
    EXPECT_EQ(Versions(), (std::vector<std::string>{"0", "1", "2", "3", "5", "6", "7", "8", "9", "10", "11"}));
    EXPECT_EQ(grid->model()->rowCount(), 11);
    EXPECT_EQ(grid->SelectedCount(), 0);
}

TEST_F(GridCommandsTest, CtrlClicksThenCtrlRightClickDeleteTheRowsInTableOrder) {
    StartWith();
    Click(2, Qt::LeftButton, Qt::ControlModifier);
    Click(5, Qt::LeftButton, Qt::ControlModifier);
    Click(9, Qt::RightButton, Qt::ControlModifier);
    EXPECT_EQ(grid->CurrentRow(), 9);
    ASSERT_EQ(grid->SelectedCount(), 3);
    Menu("DeleteRecordMI");
    EXPECT_EQ(Versions(), (std::vector<std::string>{"0", "1", "3", "4", "6", "7", "8", "10", "11"}));
    EXPECT_TRUE(boxes.Shown.empty());
}

TEST_F(GridCommandsTest, IgnoreAndDelAllTakesTheCurrentRowsApplicationAndDeletesTheFirstSelectedRows) {
    StartWith();
    Click(2, Qt::LeftButton, Qt::ControlModifier);
    Click(5, Qt::LeftButton, Qt::ControlModifier);
    Click(9, Qt::RightButton, Qt::ControlModifier);
    boxes.Answers = {true};
    Menu("AddtoIgnoreDelMI");
    // Row 9 is M0\A1; row 2 is M2\A0, which rows 2 and 8 hold.
    EXPECT_EQ(Items("IgnoreLB"), (std::vector<QString>{"M0\\A1"}));
    EXPECT_TRUE(window->ChangeFlags().IgnoreListChanged);
    EXPECT_EQ(boxes.Texts(TKind::Warning), (std::vector<QString>{Warning}));
    EXPECT_EQ(Versions(), (std::vector<std::string>{"0", "1", "3", "4", "5", "6", "7", "9", "10", "11"}));
    // Shown at once, and the selection keeps only rows that are still there.
    EXPECT_EQ(grid->model()->rowCount(), 10);
    EXPECT_EQ(grid->SelectedCount(), 2);
    auto *model = static_cast<TResultsModel *>(grid->model());
    EXPECT_EQ(model->Text(model->RowOfBookmark(grid->SelectedAt(0)), TField::Version), "5");
    EXPECT_FALSE(mergemessFm->isVisible());
    EXPECT_EQ(mergemessFm->Label1->text(), "Please wait...");
    EXPECT_EQ(mergemessFm->FilenameLbl->text(), "Deleting records");
}

TEST_F(GridCommandsTest, KeyboardMovedCurrentRowWithNoSelectionOnlyAddsToTheIgnoreList) {
    StartWith();
    Click(3);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    ASSERT_EQ(grid->CurrentRow(), 5);
    ASSERT_EQ(grid->SelectedCount(), 0);
    Menu("DeleteRecordMI");
    Menu("DelallReferencesMI");
    EXPECT_EQ(Versions().size(), 12u);
    EXPECT_TRUE(boxes.Shown.empty());
    Menu("AddtoIgnoreListMI");
    Menu("AddtoIgnoreDelMI");
    EXPECT_EQ(Items("IgnoreLB"), (std::vector<QString>{"M2\\A1", "M2\\A1"}));
    EXPECT_TRUE(boxes.Shown.empty());
    EXPECT_EQ(Versions().size(), 12u);
}

TEST_F(GridCommandsTest, AnEmptyApplicationNameLeavesTheLoneBackslash) {
    StartWith();
    Click(10);
    Menu("AddtoIgnoreListMI");
    EXPECT_EQ(Items("IgnoreLB"), (std::vector<QString>{"M1\\"}));
}

TEST_F(GridCommandsTest, DelAllReferencesAnsweredNoChangesNothingAndShowsNoProgress) {
    StartWith();
    Click(4, Qt::RightButton);
    boxes.Answers = {false};
    Menu("DelallReferencesMI");
    EXPECT_EQ(boxes.Texts(TKind::Warning).size(), 1u);
    EXPECT_EQ(Versions().size(), 12u);
    // Showing it would have put its texts in.
    EXPECT_FALSE(mergemessFm->isVisible());
    EXPECT_NE(mergemessFm->Label1->text(), "Please wait...");
    EXPECT_NE(mergemessFm->FilenameLbl->text(), "Deleting records");
}

TEST_F(GridCommandsTest, RealWarningBoxYesDeletesEveryRowOfTheApplicationOnly) {
    StartWith(&TMessageBoxes::Instance());
    Click(4, Qt::RightButton);
    TModalBoxAnswerer yes(QMessageBox::Yes);
    Menu("DelallReferencesMI");
    ASSERT_EQ(yes.Seen.size(), 1u);
    EXPECT_EQ(yes.Seen[0].Title, "WARNING");
    EXPECT_EQ(yes.Seen[0].Text, Warning);
    EXPECT_EQ(yes.Seen[0].Icon, QMessageBox::NoIcon);
    EXPECT_EQ(yes.Seen[0].Buttons, QMessageBox::Yes | QMessageBox::No);
    // Row 4 is M1\A0, held by rows 4 only among M1's (1, 7 and 10 are M1 with A1, A1 and "").
    EXPECT_EQ(Versions(), (std::vector<std::string>{"0", "1", "2", "3", "5", "6", "7", "8", "9", "10", "11"}));
    Click(0, Qt::RightButton);
    Menu("DelallReferencesMI");
    // M0\A0 is rows 0 and 6.
    EXPECT_EQ(Versions(), (std::vector<std::string>{"1", "2", "3", "5", "7", "8", "9", "10", "11"}));
    EXPECT_EQ(grid->model()->rowCount(), 9);
}

TEST_F(GridCommandsTest, RealWarningBoxNoKeepsTheRows) {
    StartWith(&TMessageBoxes::Instance());
    Click(4, Qt::RightButton);
    TModalBoxAnswerer no(QMessageBox::No);
    Menu("AddtoIgnoreDelMI");
    ASSERT_EQ(no.Seen.size(), 1u);
    EXPECT_EQ(Versions().size(), 12u);
    EXPECT_EQ(Items("IgnoreLB"), (std::vector<QString>{"M1\\A0"}));
}

TEST_F(GridCommandsTest, CopyPutsTheCurrentCellsTextOnTheClipboard) {
    StartWith();
    QApplication::clipboard()->setText("before");
    Click(0, Qt::RightButton, Qt::NoModifier, 4);
    Menu("CopyMI");
    EXPECT_EQ(QApplication::clipboard()->text(), "-1");
    // An empty Verification, made by an edit that is written when the row is left.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    Click(1, Qt::LeftButton, Qt::NoModifier, 4);
    Click(0, Qt::RightButton, Qt::NoModifier, 4);
    Menu("CopyMI");
    EXPECT_EQ(QApplication::clipboard()->text(), "");
    Click(2, Qt::RightButton, Qt::NoModifier, 5);
    Menu("CopyMI");
    EXPECT_EQ(QApplication::clipboard()->text(), "C:\\p2");
}

TEST_F(GridCommandsTest, EmptyTableThenExportReportsTheClosedTableAndTheRowCommandsDoNothing) {
    StartWith();
    Click(3);
    QTest::mouseClick(Find<QToolButton>("EmptyTableBtn"), Qt::LeftButton);
    EXPECT_TRUE(boxes.Shown.empty());
    EXPECT_EQ(grid->model()->rowCount(), 0);
    EXPECT_EQ(grid->SelectedCount(), 0);
    EXPECT_FALSE(grid->HasCurrentRow());
    QApplication::clipboard()->setText("kept");
    for (const char *item : {"DeleteRecordMI", "DelallReferencesMI", "AddtoIgnoreListMI", "AddtoIgnoreDelMI", "CopyMI"})
        Menu(item);
    EXPECT_TRUE(Items("IgnoreLB").empty());
    EXPECT_FALSE(window->ChangeFlags().IgnoreListChanged);
    EXPECT_EQ(QApplication::clipboard()->text(), "kept");
    EXPECT_TRUE(boxes.Shown.empty());
    QTest::mouseClick(Find<QToolButton>("CSVBtn"), Qt::LeftButton);
    EXPECT_EQ(boxes.Texts(TKind::ErrorBox),
              (std::vector<QString>{"Cannot perform this operation on a closed dataset."}));
    EXPECT_EQ(dir.Read("datadump.csv"), "");
}

TEST_F(GridCommandsTest, CsvButtonWritesAPendingEditFirstAndLeavesTheLastRowCurrent) {
    StartWith();
    Click(1, Qt::LeftButton, Qt::NoModifier, 2);
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "Edited");
    QTest::mouseClick(Find<QToolButton>("CSVBtn"), Qt::LeftButton);
    EXPECT_TRUE(boxes.Shown.empty());
    const std::string csv = dir.Read("datadump.csv");
    EXPECT_NE(csv.find("\"user01\",\"M1\",\"Edited\",\"1\",0,\"C:\\p1\"\r\n"), std::string::npos) << csv;
    EXPECT_EQ(grid->CurrentRow(), 11);
    EXPECT_EQ(grid->SelectedCount(), 1);
}
