// ResultsGrid1 on its own: how clicks and keys move the current row and change the selection, the indicator,
// the always-open editor with its refusals, new rows, Ctrl+Delete and the inert column titles.
#include "GridFixture.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using invexa::TField;
using TKind = TScriptedMessageBoxes::TKind;

class ResultsGridTest : public GridFixture {
protected:
    void SetUp() override {
        FillMany(12);
        Show();
    }
};

TEST_F(ResultsGridTest, ClicksWithAnyButtonSelectTheRowAloneOrToggleWithCtrl) {
    EXPECT_EQ(grid->CurrentRow(), 0);
    EXPECT_TRUE(SelectedRows().empty());
    Click(3);
    EXPECT_EQ(grid->CurrentRow(), 3);
    EXPECT_EQ(SelectedRows(), (std::vector<int>{3}));
    Click(1, Qt::LeftButton, Qt::ControlModifier);
    Click(7, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(SelectedRows(), (std::vector<int>{1, 3, 7}));
    Click(3, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(SelectedRows(), (std::vector<int>{1, 7}));
    EXPECT_EQ(grid->CurrentRow(), 3);
    Click(5, Qt::RightButton);
    EXPECT_EQ(grid->CurrentRow(), 5);
    EXPECT_EQ(SelectedRows(), (std::vector<int>{5}));
    Click(9, Qt::RightButton, Qt::ControlModifier);
    EXPECT_EQ(SelectedRows(), (std::vector<int>{5, 9}));
    // A click on the indicator column is a row click too.
    const QPoint inHeader(grid->verticalHeader()->width() / 2, grid->verticalHeader()->sectionViewportPosition(2) + 3);
    QTest::mouseClick(grid->verticalHeader()->viewport(), Qt::LeftButton, Qt::NoModifier, inHeader);
    EXPECT_EQ(grid->CurrentRow(), 2);
    EXPECT_EQ(SelectedRows(), (std::vector<int>{2}));
}

TEST_F(ResultsGridTest, ArrowsEmptyTheSelectionAndShiftGrowsAndShrinksIt) {
    Click(4);
    Key(Qt::Key_Down);
    EXPECT_EQ(grid->CurrentRow(), 5);
    EXPECT_TRUE(SelectedRows().empty());
    Key(Qt::Key_Down, Qt::ShiftModifier);
    Key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(grid->CurrentRow(), 7);
    EXPECT_EQ(SelectedRows(), (std::vector<int>{5, 6, 7}));
    Key(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(SelectedRows(), (std::vector<int>{5, 6}));
    Key(Qt::Key_Up, Qt::ShiftModifier);
    Key(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(grid->CurrentRow(), 4);
    EXPECT_EQ(SelectedRows(), (std::vector<int>{4, 5}));
    Key(Qt::Key_Up);
    EXPECT_EQ(grid->CurrentRow(), 3);
    EXPECT_TRUE(SelectedRows().empty());
    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(grid->CurrentRow(), 11);
    Key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(grid->CurrentRow(), 0);
}

TEST_F(ResultsGridTest, IndicatorMarksTheCurrentRowAndTheCurrentCellIsAlwaysEdited) {
    Click(6, Qt::LeftButton, Qt::NoModifier, 2);
    EXPECT_EQ(model->headerData(6, Qt::Vertical).toString(), QStringLiteral("\u25BA"));
    EXPECT_TRUE(model->headerData(5, Qt::Vertical).toString().isEmpty());
    EXPECT_TRUE(grid->isPersistentEditorOpen(model->index(6, 2)));
    EXPECT_EQ(EditorText(), "A6");
    Key(Qt::Key_Tab);
    EXPECT_TRUE(grid->isPersistentEditorOpen(model->index(6, 3)));
    EXPECT_FALSE(grid->isPersistentEditorOpen(model->index(6, 2)));
    EXPECT_EQ(EditorText(), "6");
}

TEST_F(ResultsGridTest, TitleClickChangesNothing) {
    Click(4);
    QSignalSpy titles(grid.get(), &TResultsGrid::TitleClicked);
    auto *header = grid->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
    EXPECT_EQ(titles.count(), 1);
    EXPECT_EQ(grid->CurrentRow(), 4);
    EXPECT_EQ(grid->currentIndex().column(), 1);
    EXPECT_EQ(SelectedRows(), (std::vector<int>{4}));
    EXPECT_EQ(Shown(0, 0), "u0");
    EXPECT_EQ(Shown(11, 0), "u11");
    EXPECT_TRUE(header->sectionsMovable());
}

TEST_F(ResultsGridTest, EditIsWrittenWhenTheRowIsLeftAndARefusedValueStaysForCorrection) {
    Click(2, Qt::LeftButton, Qt::NoModifier, 1);
    Type("Acme");
    Key(Qt::Key_Tab);
    EXPECT_EQ(StoredRows()[2].AppMaker, "M2");
    EXPECT_EQ(grid->currentIndex().column(), 2);
    Key(Qt::Key_Down);
    EXPECT_EQ(StoredRows()[2].AppMaker, "Acme");

    Click(5, Qt::LeftButton, Qt::NoModifier, 4);
    Type("40000");
    Key(Qt::Key_Down);
    ASSERT_EQ(boxes.Texts(TKind::ErrorBox).size(), 1u);
    EXPECT_TRUE(boxes.Texts(TKind::ErrorBox)[0].contains("-32768 to 32767"));
    EXPECT_EQ(grid->CurrentRow(), 5);
    EXPECT_EQ(EditorText(), "40000");
    Click(8);
    EXPECT_EQ(boxes.Texts(TKind::ErrorBox).size(), 2u);
    EXPECT_EQ(grid->CurrentRow(), 5);
    Type("-12");
    Key(Qt::Key_Up);
    EXPECT_EQ(grid->CurrentRow(), 4);
    EXPECT_EQ(StoredRows()[5].Verification, std::optional<std::int16_t>(-12));
}

TEST_F(ResultsGridTest, EscapeDropsThePendingEdit) {
    Click(3, Qt::LeftButton, Qt::NoModifier, 1);
    Type("Gone");
    Key(Qt::Key_Escape);
    EXPECT_EQ(EditorText(), "M3");
    Key(Qt::Key_Down);
    EXPECT_EQ(StoredRows()[3].AppMaker, "M3");
}

TEST_F(ResultsGridTest, NewRowsAreStoredAtTheEndWhenFilledAndDroppedWhenUntouched) {
    Click(11);
    Key(Qt::Key_Down);
    ASSERT_EQ(model->rowCount(), 13);
    EXPECT_EQ(grid->CurrentRow(), 12);
    EXPECT_EQ(model->headerData(12, Qt::Vertical).toString(), "*");
    // Down again on the untouched new row starts no other; Up drops it.
    Key(Qt::Key_Down);
    EXPECT_EQ(model->rowCount(), 13);
    Key(Qt::Key_Up);
    EXPECT_EQ(model->rowCount(), 12);
    EXPECT_EQ(StoredRows().size(), 12u);

    Click(4, Qt::LeftButton, Qt::NoModifier, 2);
    Key(Qt::Key_Insert);
    EXPECT_EQ(grid->CurrentRow(), 4);
    EXPECT_TRUE(Shown(4, 0).isEmpty());
    EXPECT_EQ(Shown(5, 0), "u4");
    Type("Inserted");
    Key(Qt::Key_Down);
    ASSERT_EQ(StoredRows().size(), 13u);
    EXPECT_EQ(StoredRows().back().AppName, "Inserted");
    EXPECT_EQ(Shown(12, 2), "Inserted");
    EXPECT_EQ(Shown(4, 0), "u4");
    EXPECT_EQ(Shown(4, 2), "A4");
}

TEST_F(ResultsGridTest, CtrlDeleteAsksThenDeletesSelectedRowsOrTheCurrentRow) {
    Click(2);
    Key(Qt::Key_Down);
    boxes.Answers = {false};
    Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(boxes.Texts(TKind::Confirm), (std::vector<QString>{"Delete record?"}));
    EXPECT_EQ(StoredRows().size(), 12u);
    boxes.Answers = {true};
    Key(Qt::Key_Delete, Qt::ControlModifier);
    ASSERT_EQ(StoredRows().size(), 11u);
    EXPECT_EQ(StoredRows()[3].UserName, "u4");

    Click(1);
    Click(5, Qt::LeftButton, Qt::ControlModifier);
    Click(8, Qt::LeftButton, Qt::ControlModifier);
    boxes.Answers = {true};
    Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(boxes.Texts(TKind::Confirm).back(), "Delete all selected records?");
    std::vector<std::string> users;
    for (const auto &row : StoredRows())
        users.push_back(row.UserName);
    EXPECT_EQ(users, (std::vector<std::string>{"u0", "u2", "u4", "u5", "u7", "u8", "u10", "u11"}));
    EXPECT_TRUE(SelectedRows().empty());
    EXPECT_EQ(model->rowCount(), 8);
    // Removing the row whose editor has the focus must not send the focus tabbing to the next cell: every
    // editor made on the way, released ones included, stood left of the next column.
    for (const QLineEdit *editor : grid->viewport()->findChildren<QLineEdit *>())
        EXPECT_LT(editor->x(), grid->columnViewportPosition(2)) << editor->text().toStdString();
}
