// ResultsGrid1 in the window: how clicks and keys move the current row and change the selection, the always-open
// editor, new rows, Ctrl+Delete, and the pop-up menu's commands with the two table buttons.
#include "FormsFixture.h"

#include <QScrollBar>

namespace {
const QString Warning = "This will delete all Occurances of this application. Are You Sure?";
}

// Row i (0..11) has maker "M<i % 3>", application "A<i % 2>" and version "<i>": an application's rows are
// spread over the table.
class ResultsGridTest : public FormsTest {
protected:
    void SetUp() override {
        FormsTest::SetUp();
        FillTable(12);
        Start();
        ASSERT_EQ(Model()->rowCount(), 12);
    }
    void SelectTwoThenCtrlRightClick() {
        Click(2, Qt::LeftButton, Qt::ControlModifier);
        Click(5, Qt::LeftButton, Qt::ControlModifier);
        Click(9, Qt::RightButton, Qt::ControlModifier);
        ASSERT_EQ(Grid()->CurrentRow(), 9);
        ASSERT_EQ(SelectedRows(), (std::vector<int>{2, 5, 9}));
    }
};

// Each step, in turn, and the current row and selection it leaves: a click with any button selects its row
// alone (on the indicator column too) and Ctrl toggles it; arrows empty the selection and Shift grows and shrinks it.
TEST_F(ResultsGridTest, ClicksAndArrowsMoveTheCurrentRowAndChangeTheSelection) {
    const auto click = [this](int row, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers m = {}) {
        return [=, this] { Click(row, button, m); };
    };
    const auto key = [this](int k, Qt::KeyboardModifiers m = {}) { return [=, this] { Key(k, m); }; };
    const auto ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier;
    const std::tuple<std::function<void()>, int, std::vector<int>> steps[] = {
        {[] {}, 0, {}},
        {click(3), 3, {3}},
        {click(1, Qt::LeftButton, ctrl), 1, {1, 3}},
        {click(7, Qt::LeftButton, ctrl), 7, {1, 3, 7}},
        {click(3, Qt::LeftButton, ctrl), 3, {1, 7}},
        {click(5, Qt::RightButton), 5, {5}},
        {[this] {
             QHeaderView *indicator = Grid()->verticalHeader();
             QTest::mouseClick(indicator->viewport(), Qt::LeftButton, Qt::NoModifier,
                               QPoint(indicator->width() / 2, indicator->sectionViewportPosition(2) + 3));
         },
         2,
         {2}},
        {click(4), 4, {4}},
        {key(Qt::Key_Down), 5, {}},
        {key(Qt::Key_Down, shift), 6, {5, 6}},
        {key(Qt::Key_Down, shift), 7, {5, 6, 7}},
        {key(Qt::Key_Up, shift), 6, {5, 6}},
        {key(Qt::Key_Up, shift), 5, {5}},
        {key(Qt::Key_Up, shift), 4, {4, 5}},
        {key(Qt::Key_Up), 3, {}},
        {key(Qt::Key_End, ctrl), 11, {}},
    };
    for (const auto &[step, current, selected] : steps) {
        step();
        EXPECT_EQ(Grid()->CurrentRow(), current);
        EXPECT_EQ(SelectedRows(), selected) << "at row " << current;
    }
}

// The model shows a window of 5 of the 12 rows: the grid's scroll bar spans the table, and keys reach every row
// as on a table that fits, the window moving with them; a Shift run crosses its edge, and Down on the table's last
// row starts a new row.
TEST_F(ResultsGridTest, KeysWalkATableLargerThanTheModelsWindow) {
    TResultsModel::Span = 5;
    Grid()->Reload();
    // The rows past the first window are counted on a thread: the bar spans the table once they are.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Model()->CountSoFar() == 12; }, 10000));
    Click(0);
    // Two rows to a page: the bar over the whole table shows its last rows, the current row following them.
    Grid()->verticalHeader()->setDefaultSectionSize(Grid()->viewport()->height() / 2);
    QCoreApplication::processEvents();
    auto *bar = Grid()->findChild<QScrollBar *>("WholeTableBar");
    ASSERT_TRUE(bar && bar->isVisible() && !Grid()->verticalScrollBar()->isVisible());
    bar->setValue(bar->maximum());
    EXPECT_EQ(Model()->Base() + Grid()->verticalScrollBar()->value(), 10);
    EXPECT_EQ(Model()->Base() + Grid()->CurrentRow(), 10);
    EXPECT_EQ(Model()->Base() + Model()->rowCount(), 12);
    bar->setValue(0);
    const auto ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier;
    const std::tuple<int, Qt::KeyboardModifiers, int, std::size_t> steps[] = {
        {Qt::Key_Down, {}, 1, 0},    {Qt::Key_Down, {}, 2, 0},    {Qt::Key_Down, {}, 3, 0},   {Qt::Key_Down, {}, 4, 0},
        {Qt::Key_Down, shift, 5, 2}, {Qt::Key_Down, shift, 6, 3}, {Qt::Key_End, ctrl, 11, 0}, {Qt::Key_Up, {}, 10, 0},
        {Qt::Key_Home, ctrl, 0, 0},  {Qt::Key_Up, {}, 0, 0},      {Qt::Key_End, ctrl, 11, 0}, {Qt::Key_Down, {}, 12, 0},
    };
    for (const auto &[key, modifiers, pos, selected] : steps) {
        Key(key, modifiers);
        EXPECT_EQ(Model()->Base() + Grid()->CurrentRow(), pos);
        EXPECT_EQ(Shown(Grid()->CurrentRow(), 3), pos < 12 ? QString::number(pos) : QString()) << "at " << pos;
        EXPECT_EQ(Model()->Selection().size(), selected) << "at " << pos;
        EXPECT_LE(Model()->rowCount(), 6);
    }
    EXPECT_TRUE(Model()->IsNewRow(Grid()->CurrentRow()));
    // A row inserted in the window is stored at the table's end, outside it; Down goes on to the row below.
    Key(Qt::Key_Up);
    Key(Qt::Key_Home, ctrl);
    Key(Qt::Key_Insert);
    Type("Moved");
    Key(Qt::Key_Down);
    EXPECT_EQ(Model()->Base() + Grid()->CurrentRow(), 0);
    EXPECT_EQ(Shown(Grid()->CurrentRow(), 3), "0");
    EXPECT_EQ(StoredRows().back().AppMaker, "Moved");
}

TEST_F(ResultsGridTest, CurrentCellIsAlwaysEditedAndATitleClickChangesNothing) {
    Click(6, Qt::LeftButton, Qt::NoModifier, 2);
    EXPECT_EQ(Model()->headerData(6, Qt::Vertical).toString(), QStringLiteral("\u25BA"));
    EXPECT_TRUE(Model()->headerData(5, Qt::Vertical).toString().isEmpty());
    EXPECT_EQ(EditorText(), "A0");
    Key(Qt::Key_Tab);
    EXPECT_EQ(EditorText(), "6");

    QSignalSpy titles(Grid(), &TResultsGrid::TitleClicked);
    QHeaderView *header = Grid()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(3) + 5, header->height() / 2));
    EXPECT_EQ(titles.count(), 1);
    EXPECT_EQ(Grid()->currentIndex(), Model()->index(6, 3));
    EXPECT_EQ(SelectedRows(), (std::vector<int>{6}));
    EXPECT_EQ(Shown(1, 3), "1");
    EXPECT_EQ(Shown(11, 3), "11");
}

TEST_F(ResultsGridTest, EditIsWrittenWhenTheRowIsLeftARefusedValueStaysAndEscapeDropsIt) {
    Click(2, Qt::LeftButton, Qt::NoModifier, 1);
    Type("Acme");
    Key(Qt::Key_Tab);
    EXPECT_EQ(StoredRows()[2].AppMaker, "M2");
    Key(Qt::Key_Down);
    EXPECT_EQ(StoredRows()[2].AppMaker, "Acme");

    Click(5, Qt::LeftButton, Qt::NoModifier, 4);
    Type("40000");
    Key(Qt::Key_Down);
    ASSERT_EQ(boxes.Shown.size(), 1u);
    EXPECT_TRUE(boxes.Shown[0].startsWith("Error: ") && boxes.Shown[0].contains("-32768 to 32767"))
        << boxes.Shown.join(" | ").toStdString();
    EXPECT_EQ(Grid()->CurrentRow(), 5);
    EXPECT_EQ(EditorText(), "40000");
    Click(8);
    EXPECT_EQ(boxes.Shown.size(), 2u);
    EXPECT_EQ(Grid()->CurrentRow(), 5);
    Type("-12");
    Key(Qt::Key_Up);
    EXPECT_EQ(Grid()->CurrentRow(), 4);
    EXPECT_EQ(StoredRows()[5].Verification, std::optional<std::int16_t>(-12));

    Click(3, Qt::LeftButton, Qt::NoModifier, 1);
    Type("Gone");
    Key(Qt::Key_Escape);
    EXPECT_EQ(EditorText(), "M0");
    Key(Qt::Key_Down);
    EXPECT_EQ(StoredRows()[3].AppMaker, "M0");
}

TEST_F(ResultsGridTest, NewRowsAreStoredAtTheEndWhenFilledAndDroppedWhenUntouched) {
    Click(11);
    Key(Qt::Key_Down);
    ASSERT_EQ(Model()->rowCount(), 13);
    EXPECT_EQ(Grid()->CurrentRow(), 12);
    EXPECT_EQ(Model()->headerData(12, Qt::Vertical).toString(), "*");
    // Down again on the untouched new row starts no other; Up drops it.
    Key(Qt::Key_Down);
    EXPECT_EQ(Model()->rowCount(), 13);
    Key(Qt::Key_Up);
    EXPECT_EQ(Model()->rowCount(), 12);
    EXPECT_EQ(Versions(), "0 1 2 3 4 5 6 7 8 9 10 11 ");

    Click(4, Qt::LeftButton, Qt::NoModifier, 2);
    Key(Qt::Key_Insert);
    EXPECT_EQ(Grid()->CurrentRow(), 4);
    EXPECT_TRUE(Shown(4, 0).isEmpty());
    EXPECT_EQ(Shown(5, 0), "u4");
    Type("Inserted");
    Key(Qt::Key_Down);
    ASSERT_EQ(StoredRows().size(), 13u);
    EXPECT_EQ(StoredRows().back().AppName, "Inserted");
    EXPECT_EQ(Shown(12, 2), "Inserted");
    EXPECT_EQ(Shown(4, 0), "u4");
}

TEST_F(ResultsGridTest, CtrlDeleteAsksThenDeletesTheCurrentRowOrTheSelectedRows) {
    Click(2);
    Key(Qt::Key_Down);
    boxes.Answers = {false};
    Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(boxes.Shown, QStringList{"Confirm: Delete record?"});
    EXPECT_EQ(Versions(), "0 1 2 3 4 5 6 7 8 9 10 11 ");
    boxes.Answers = {true, true};
    Key(Qt::Key_Delete, Qt::ControlModifier);
    Click(6); // One selected row: still the single question.
    Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(boxes.Shown, QStringList(3, "Confirm: Delete record?"));
    EXPECT_EQ(Versions(), "0 1 2 4 5 6 8 9 10 11 ");

    Click(1);
    Click(5, Qt::LeftButton, Qt::ControlModifier);
    Click(8, Qt::LeftButton, Qt::ControlModifier);
    boxes.Answers = {true};
    Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(boxes.Shown.last(), "Confirm: Delete all selected records?");
    EXPECT_EQ(Versions(), "0 2 4 5 8 9 11 ");
    EXPECT_TRUE(SelectedRows().empty());
    EXPECT_EQ(Model()->rowCount(), 7);
    // Removing the row whose editor has the focus must not send the focus tabbing to the next cell: every
    // editor made on the way, released ones included, stood left of the next column.
    for (const QLineEdit *editor : Grid()->viewport()->findChildren<QLineEdit *>())
        EXPECT_LT(editor->x(), Grid()->columnViewportPosition(2)) << editor->text().toStdString();
}

// Another program (a second administrator's merge, which reuses the bookmarks of the rows it replaces) changed
// rows after the grid read them: an edit of a row it left alone is written; an edit of a row it changed, and a
// delete, are refused with a clear error and the grid reads the table again; done again, the delete works. The
// open window holds no lock that keeps the other program waiting.
TEST_F(ResultsGridTest, WritesAfterAnotherProgramChangedTheTableAreRefusedUnlessTheirRowIsAsShown) {
    auto otherProgram = [&](int row) {
        SQLite::Database(dir.File(invexa::TResultsDatabase::FileName), SQLite::OPEN_READWRITE)
            .exec("UPDATE Results SET AppMaker = 'Theirs' WHERE rowid = " + std::to_string(Model()->Bookmark(row)));
    };
    otherProgram(4);
    Click(2, Qt::LeftButton, Qt::NoModifier, 1);
    Type("Mine");
    Key(Qt::Key_Down);
    EXPECT_EQ(StoredRows()[2].AppMaker, "Mine");
    EXPECT_EQ(boxes.Shown, QStringList());

    Click(4, Qt::LeftButton, Qt::NoModifier, 1);
    Type("Mine");
    Key(Qt::Key_Down);
    ASSERT_EQ(boxes.Shown.size(), 1u);
    EXPECT_EQ(boxes.Shown[0], "Error: The results table was changed by another program meanwhile. The edit of this "
                              "row was not written; the grid now shows the table as it is.");
    EXPECT_EQ(StoredRows()[4].AppMaker, "Theirs");
    EXPECT_EQ(Shown(4, 1), "Theirs");

    otherProgram(7);
    Click(6);
    boxes.Answers = {true, true};
    Key(Qt::Key_Delete, Qt::ControlModifier);
    ASSERT_EQ(boxes.Shown.size(), 3u);
    EXPECT_TRUE(boxes.Shown[2].contains("Nothing was deleted")) << boxes.Shown[2].toStdString();
    EXPECT_EQ(Versions(), "0 1 2 3 4 5 6 7 8 9 10 11 ");
    EXPECT_EQ(Shown(7, 1), "Theirs");
    Click(6);
    Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Versions(), "0 1 2 3 4 5 7 8 9 10 11 ");

    // Reads that fail while the other program holds the whole file are reported once, however often they fail.
    const auto shown = boxes.Shown.size();
    SQLite::Database holder(dir.File(invexa::TResultsDatabase::FileName), SQLite::OPEN_READWRITE);
    holder.exec("BEGIN EXCLUSIVE");
    dataModule->database.Connection().setBusyTimeout(100);
    Grid()->Reload();
    for (int paint = 0; paint < 3; ++paint)
        Grid()->viewport()->repaint();
    QCoreApplication::processEvents();
    holder.exec("ROLLBACK");
    EXPECT_EQ(boxes.Shown.size(), shown + 1);
    EXPECT_TRUE(boxes.Shown.last().contains("is locked by another program")) << boxes.Shown.last().toStdString();
}

// Each pop-up menu command in a fresh window, by how the menu was opened: a right-click selects its row alone, on
// the current cell's editor too (the grid's menu opens, not the editor's); Ctrl keeps the selection; the keyboard
// (Menu, Shift+F10) opens it over the current cell's editor and leaves the selection as it is. Then the question
// and its answer, and what is left: rows, ignore list, boxes shown, selection, clipboard.
TEST_F(ResultsGridTest, MenuCommandsTakeTheirRowsFromTheWayTheMenuWasOpened) {
    struct TCase {
        const char *What;
        std::function<void()> Open;
        const char *Item;
        std::deque<bool> Answers;
        std::string Versions;
        QString Ignored, Clipboard;
        QStringList Shown = {};
        std::vector<int> Selected = {};
    };
    const std::string all = "0 1 2 3 4 5 6 7 8 9 10 11 ";
    const QStringList asked = {"Warning: " + Warning};
    auto right = [this](int row, int column) { return [=, this] { Click(row, Qt::RightButton, {}, column); }; };
    auto keys = [this](int key, Qt::KeyboardModifiers modifiers) {
        return [=, this] { Click(3), Key(Qt::Key_Down), Key(Qt::Key_Down), Key(key, modifiers); };
    };
    auto ctrlClicks = [this] { SelectTwoThenCtrlRightClick(); };
    auto onEditor = [this] { Click(4), Click(4, Qt::RightButton); };
    auto emptied = [this] { // an empty Verification, written as the row is left
        Click(0, Qt::LeftButton, {}, 4), Type(""), Key(Qt::Key_Backspace);
        Click(1, Qt::LeftButton, {}, 4), Click(0, Qt::RightButton, {}, 4);
    };
    // Row 9 (current) is M0\A1; row 2 (first selected) is M2\A0, which rows 2 and 8 hold. The selection keeps only
    // rows that are still there. Without a selection nothing is deleted and nothing asked; the ignore entry is the
    // current row's.
    const TCase cases[] = {
        {"right-click", right(4, 1), "DeleteRecordMI", {}, "0 1 2 3 5 6 7 8 9 10 11 ", "", "before"},
        {"Ctrl+clicks", ctrlClicks, "DeleteRecordMI", {}, "0 1 3 4 6 7 8 10 11 ", "", "before"},
        {"Yes", ctrlClicks, "AddtoIgnoreDelMI", {true}, "0 1 3 4 5 6 7 9 10 11 ", "M0\\A1", "before", asked, {4, 7}},
        {"right-click, No", right(4, 1), "DelallReferencesMI", {}, all, "", "before", asked, {4}},
        {"on the editor, No", onEditor, "AddtoIgnoreDelMI", {}, all, "M1\\A0", "before", asked, {4}},
        {"Menu key", keys(Qt::Key_Menu, {}), "DeleteRecordMI", {}, all, "", "before"},
        {"Menu key", keys(Qt::Key_Menu, {}), "DelallReferencesMI", {}, all, "", "before"},
        {"Shift+F10", keys(Qt::Key_F10, Qt::ShiftModifier), "AddtoIgnoreListMI", {}, all, "M2\\A1", "before"},
        {"Shift+F10", keys(Qt::Key_F10, Qt::ShiftModifier), "AddtoIgnoreDelMI", {}, all, "M2\\A1", "before"},
        {"right-click", right(0, 4), "CopyMI", {}, all, "", "-1", {}, {0}},
        {"right-click", right(2, 5), "CopyMI", {}, all, "", "C:\\p2", {}, {2}},
        {"emptied", emptied, "CopyMI", {}, all, "", "", {}, {0}},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(std::string(c.What) + ": " + c.Item);
        Stop();
        SQLite::Database(dir.File(invexa::TResultsDatabase::FileName), SQLite::OPEN_READWRITE)
            .exec("DELETE FROM Results");
        FillTable(12);
        boxes.Shown.clear();
        boxes.Answers = c.Answers;
        Start();
        QApplication::clipboard()->setText("before");
        c.Open();
        Menu(c.Item);
        EXPECT_EQ(Versions(), c.Versions);
        EXPECT_EQ(Model()->rowCount(), std::count(c.Versions.begin(), c.Versions.end(), ' '));
        EXPECT_EQ(Items("IgnoreLB"), c.Ignored);
        EXPECT_EQ(boxes.Shown, c.Shown);
        EXPECT_EQ(SelectedRows(), c.Selected);
        EXPECT_EQ(QApplication::clipboard()->text(), c.Clipboard);
    }
}

TEST_F(ResultsGridTest, EmptyTableThenExportReportsTheClosedTableAndTheRowCommandsDoNothing) {
    Click(3);
    ClickButton("EmptyTableBtn");
    EXPECT_EQ(boxes.Shown, QStringList());
    EXPECT_EQ(Model()->rowCount(), 0);
    EXPECT_TRUE(SelectedRows().empty());
    EXPECT_FALSE(Grid()->HasCurrentRow());
    QApplication::clipboard()->setText("kept");
    for (const char *item :
         {"DeleteRecordMI", "DelallReferencesMI", "AddtoIgnoreListMI", "AddtoIgnoreDelMI", "CopyMI"}) {
        QTest::keyClick(Grid(), Qt::Key_Menu);
        Menu(item);
    }
    EXPECT_EQ(Items("IgnoreLB"), "");
    EXPECT_EQ(QApplication::clipboard()->text(), "kept");
    EXPECT_EQ(boxes.Shown, QStringList());
    ClickButton("CSVBtn");
    EXPECT_EQ(boxes.Shown, QStringList{"Error: Cannot perform this operation on a closed dataset."});
    EXPECT_FALSE(dir.Exists("datadump.csv")); // a failed export leaves what was there before: nothing
    DataModule1->resultsTbl.Open();
    EXPECT_TRUE(DataModule1->resultsTbl.ReadAfter(0, 1).empty());
}

TEST_F(ResultsGridTest, CsvButtonWritesAPendingEditFirstAndLeavesTheLastRowCurrent) {
    Click(1, Qt::LeftButton, Qt::NoModifier, 2);
    Type("Edited");
    ClickButton("CSVBtn");
    EXPECT_EQ(boxes.Shown, QStringList());
    const std::string csv = dir.Read("datadump.csv");
    EXPECT_NE(csv.find("\"u1\",\"M1\",\"Edited\",\"1\",0,\"C:\\p1\"\r\n"), std::string::npos) << csv;
    EXPECT_EQ(Grid()->CurrentRow(), 11);
}
