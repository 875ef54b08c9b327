#pragma once
#include "data/ResultsDatabase.h"
#include "data/RsltsLst.h"
#include "data/ScanFileWriter.h"
#include "data/results.h"
#include "forms/IMessageBoxes.h"
#include "forms/ResultsGrid.h"
#include "forms/ResultsModel.h"
#include "forms/about.h"
#include "forms/admnMain.h"
#include "forms/mergmess.h"
#include "support/ResultsFixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <SQLiteCpp/Transaction.h>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>

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
    // Answers for the next Warning or Confirm boxes, in order; No/Cancel once they run out.
    std::deque<bool> Answers;
    QStringList Shown;

private:
    bool Answer(const QString &shown) {
        Shown << shown;
        const bool answer = !Answers.empty() && Answers.front();
        if (!Answers.empty())
            Answers.pop_front();
        return answer;
    }
};

// Presses a button of every real QMessageBox that comes up while it lives: a zero-delay timer looks for the
// active modal widget from inside the box's own event loop.
class TModalBoxAnswerer : public QObject {
public:
    QStringList Seen; // the texts of the boxes answered

    explicit TModalBoxAnswerer(QMessageBox::StandardButton press) {
        connect(&timer_, &QTimer::timeout, this, [this, press] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            Seen << box->text();
            box->button(press) ? box->button(press)->click() : box->reject();
        });
        timer_.start(0);
    }

private:
    QTimer timer_;
};

// A fresh working folder (the current directory meanwhile) holding Results.sqlite with the empty table and, on
// Start, the program's four long-lived objects created in the program's order with their global references.
class FormsTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousDir_ = std::filesystem::current_path();
        std::filesystem::current_path(dir.Path());
        ASSERT_TRUE(invexa::TResultsDatabase::Create(dir.Path()));
    }
    void TearDown() override {
        Stop();
        std::filesystem::current_path(previousDir_);
    }

    // n rows stored before the program starts: user "u<i>", maker "M<i % makers>", application "A<i % apps>",
    // version "<i>", Verification i % 4 - 1, path "C:\p<i>".
    void FillTable(int n, int makers = 3, int apps = 2) {
        invexa::TDataModule1 module(dir.Path());
        module.resultsTbl.Open();
        SQLite::Transaction transaction(module.database.Connection());
        for (int i = 0; i < n; ++i) {
            invexa::TResultRow row = invexa::test::Row("u" + std::to_string(i), "M" + std::to_string(i % makers),
                                                       "A" + std::to_string(i % apps), std::to_string(i), i % 4 - 1,
                                                       "C:\\p" + std::to_string(i));
            module.resultsTbl.InsertRow(row);
        }
        transaction.commit();
    }
    // A scan data file in ivx/ whose records name these makers and applications.
    void WriteScanFile(const std::string &name, const std::vector<std::pair<std::string, std::string>> &apps) {
        std::vector<invexa::TResultsRec> records;
        for (const auto &[maker, app] : apps)
            records.push_back(invexa::test::Rec(maker, app, "", 0, ""));
        std::filesystem::create_directories(dir.File("ivx"));
        invexa::ScanFileWriter::WriteFile(dir.File("ivx/" + name), records);
    }

    // Creates the objects, runs beforeShow, then shows the window (FormShow merges) and waits until it is exposed.
    void Start(IMessageBoxes *messageBoxes = nullptr, const std::function<void()> &beforeShow = {}) {
        IMessageBoxes &shownBy = messageBoxes ? *messageBoxes : boxes;
        window = std::make_unique<TRuvolaform>(shownBy);
        Ruvolaform = window.get();
        dataModule = std::make_unique<invexa::TDataModule1>(window->WorkDir());
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
        mergemessFm = nullptr;
        AboutBox = nullptr;
        DataModule1 = nullptr;
        Ruvolaform = nullptr;
        progress.reset();
        aboutBox.reset();
        window.reset();
        dataModule.reset();
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
        QTest::mouseClick(target, button, modifiers, target->mapFrom(Grid()->viewport(), at));
        QContextMenuEvent menu(QContextMenuEvent::Mouse, target->mapFrom(Grid()->viewport(), at));
        if (button == Qt::RightButton)
            QApplication::sendEvent(target, &menu);
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
    }
    QLineEdit *Editor() const { return qobject_cast<QLineEdit *>(QApplication::focusWidget()); }
    QString EditorText() const { return Editor() ? Editor()->text() : QString(); }
    void Type(const QString &text) {
        ASSERT_NE(Editor(), nullptr) << "no cell editor has the focus";
        Editor()->selectAll();
        QTest::keyClicks(Editor(), text);
    }
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
    std::vector<invexa::TResultRow> StoredRows() const { return dataModule->resultsTbl.ReadAfter(0, 1 << 30); }
    // The versions still stored, in table order, each followed by a space: they name the rows FillTable made.
    std::string Versions() const {
        std::string versions;
        for (const auto &row : StoredRows())
            versions += row.Version + " ";
        return versions;
    }

    invexa::test::TTempDir dir;
    TScriptedMessageBoxes boxes;
    std::unique_ptr<TRuvolaform> window;
    std::unique_ptr<invexa::TDataModule1> dataModule;
    std::unique_ptr<TAboutBox> aboutBox;
    std::unique_ptr<TmergemessFm> progress;

private:
    std::filesystem::path previousDir_;
};
