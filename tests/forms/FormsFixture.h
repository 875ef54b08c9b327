#pragma once
// The window tests' fixture: the program's long-lived objects over a working folder, and a user's clicks and keys.
#include "forms/IMessageBoxes.h"
#include "forms/ResultsGrid.h"
#include "forms/ResultsModel.h"
#include "forms/about.h"
#include "forms/admnMain.h"
#include "forms/mergmess.h"
#include "pgsql/PgResultsStore.h"
#include "pgsql/StoreChoice.h"
#include "support/PgTestStore.h"
#include "support/ResultsFixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <deque>

// Readable failure messages.
inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList &texts, std::ostream *out) {
    PrintTo(texts.join('|'), out);
}

// Answers the program's message boxes without showing them, and keeps what was asked as "<kind>: <text>".
class TScriptedMessageBoxes : public IMessageBoxes {
public:
    void ErrorBox(QWidget *, const QString &text) override { Shown << "Error: " + text; }
    void Refusal(QWidget *, const QString &text) override { Shown << "Refusal: " + text; }
    bool Warning(QWidget *, const QString &text) override { return Answer("Warning: " + text); }
    bool Confirm(QWidget *, const QString &text) override { return Answer("Confirm: " + text); }
    std::deque<bool> Answers; // for the next Warning or Confirm boxes, in order; No/Cancel once they run out
    QStringList Shown;

private:
    bool Answer(const QString &shown) {
        Shown << shown;
        const bool answer = !Answers.empty() && Answers.front();
        return Answers.empty() ? false : (Answers.pop_front(), answer);
    }
};

// The working folder of the data tests (Results.sqlite with the empty table, an empty ivx folder), the current
// directory meanwhile; Start creates the program's four long-lived objects in the program's order with their
// global references, the data module being the folder's own.
class FormsTest : public ::testing::Test {
    const std::int64_t span_ = TResultsModel::Span;

protected:
    void SetUp() override {
        previousDir_ = std::filesystem::current_path();
        std::filesystem::current_path(dir.Path());
        work.dm.reset();
        invexa::test::PgTestStore();
    }
    void TearDown() override {
        Stop();
        TResultsModel::Span = span_; // a test may show the table through a smaller window
        std::filesystem::current_path(previousDir_);
    }

    // n rows stored before the program starts: user "u<i>", maker "M<i % makers>", application "A<i % apps>",
    // version "<i>", Verification i % 4 - 1, path "C:\p<i>".
    void FillTable(int n, int makers = 3, int apps = 2) {
        std::vector<invexa::TResultRow> rows;
        for (int i = 0; i < n; ++i)
            rows.push_back(invexa::test::Row("u" + std::to_string(i), "M" + std::to_string(i % makers),
                                             "A" + std::to_string(i % apps), std::to_string(i), i % 4 - 1,
                                             "C:\\p" + std::to_string(i)));
        if (!invexa::test::PgTestStore().empty()) {
            invexa::TPgResultsStore store(invexa::test::PgTestStore());
            store.Init();
            for (invexa::TResultRow &row : rows)
                store.InsertRow(row);
            return;
        }
        work.Restart();
        work.Insert(rows);
        work.dm.reset();
    }
    // A scan data file in ivx/ whose records name these makers and applications.
    void WriteScanFile(const std::string &name, const std::vector<std::pair<std::string, std::string>> &apps) {
        std::vector<invexa::TResultsRec> records;
        for (const auto &[maker, app] : apps)
            records.push_back(invexa::test::Rec(maker, app, "", 0, ""));
        work.Scan(name, records);
    }

    // Creates the objects, runs beforeShow, then shows the window (FormShow merges) and waits until it is exposed.
    void Start(IMessageBoxes *messageBoxes = nullptr, const std::function<void()> &beforeShow = {}) {
        IMessageBoxes &shownBy = messageBoxes ? *messageBoxes : boxes;
        window = std::make_unique<TRuvolaform>(shownBy);
        Ruvolaform = window.get();
        dataModule = invexa::TStoreChoice::Open(window->WorkDir(), invexa::TStoreChoice::Uri(std::nullopt));
        DataModule1 = dataModule.get();
        aboutBox = std::make_unique<TAboutBox>(shownBy);
        AboutBox = aboutBox.get();
        progress = std::make_unique<TmergemessFm>();
        mergemessFm = progress.get();
        if (beforeShow)
            beforeShow();
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void Stop() {
        mergemessFm = nullptr, AboutBox = nullptr, DataModule1 = nullptr, Ruvolaform = nullptr;
        progress.reset(), aboutBox.reset(), window.reset(), dataModule.reset();
    }

    template <class W> W *Find(const char *name) const {
        W *widget = window->findChild<W *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    // A list box's entries, joined with "|".
    QString Items(const char *listName) const {
        QStringList items;
        for (auto *list = Find<QListWidget>(listName); items.size() < list->count();)
            items << list->item(int(items.size()))->text();
        return items.join('|');
    }
    void ClickButton(const char *name) { QTest::mouseClick(Find<QAbstractButton>(name), Qt::LeftButton); }

    // The results grid, as a user works it: clicks on a row's cell (column 1 unless told), keys to the focus.
    TResultsGrid *Grid() const { return window->ResultsGrid1; }
    TResultsModel *Model() const { return window->DataSource1; }
    // A right-click then asks for the pop-up menu, as the window system does, of the widget under the pointer.
    void Click(int row, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers modifiers = {}, int column = 1) {
        const QModelIndex index = Model()->index(row, column);
        Grid()->scrollTo(index);
        const QPoint at = Grid()->visualRect(index).center();
        // The current cell is covered by its editor, which receives the click there.
        QWidget *target = Grid()->viewport()->childAt(at) ? Grid()->viewport()->childAt(at) : Grid()->viewport();
        const QPoint local = target->mapFrom(Grid()->viewport(), at);
        QTest::mouseClick(target, button, modifiers, local);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, local, target->mapToGlobal(local));
        if (button == Qt::RightButton)
            QApplication::sendEvent(target, &menu);
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
    }
    QString EditorText() const { return Editor() ? Editor()->text() : QString(); }
    void Type(const QString &text) {
        ASSERT_NE(Editor(), nullptr) << "no cell editor has the focus";
        Editor()->selectAll();
        QTest::keyClicks(Editor(), text);
    }
    static QLineEdit *Editor() { return qobject_cast<QLineEdit *>(QApplication::focusWidget()); }
    // Clicks an item of the open pop-up menu.
    void Menu(const char *item) {
        QMenu *menu = window->GridRightClickMnu;
        ASSERT_TRUE(menu->isVisible()) << "the pop-up menu is not open for " << item;
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(Find<QAction>(item)).center());
    }
    QString Shown(int row, int column) const { return Model()->index(row, column).data().toString(); }
    std::vector<int> SelectedRows() const {
        std::vector<int> rows;
        for (std::int64_t bookmark : Model()->Selection())
            rows.push_back(Model()->RowOfBookmark(bookmark));
        return rows;
    }
    std::vector<invexa::TResultRow> StoredRows() const { return dataModule->Store().ReadAfter(0, 1 << 30); }
    // The versions still stored, in table order, each followed by a space: they name the rows FillTable made.
    std::string Versions() const {
        std::string versions;
        for (const auto &row : StoredRows())
            versions += row.Version + " ";
        return versions;
    }

    invexa::test::TWorkFolder work;
    invexa::test::TTempDir &dir = work.dir;
    std::unique_ptr<invexa::TDataModule1> &dataModule = work.dm;
    TScriptedMessageBoxes boxes;
    std::unique_ptr<TRuvolaform> window;
    std::unique_ptr<TAboutBox> aboutBox;
    std::unique_ptr<TmergemessFm> progress;

private:
    std::filesystem::path previousDir_;
};
