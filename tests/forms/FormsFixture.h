#pragma once
#include "data/RsltsLst.h"
#include "data/results.h"
#include "forms/IMessageBoxes.h"
#include "forms/ResultsGrid.h"
#include "forms/ResultsModel.h"
#include "forms/about.h"
#include "forms/admnMain.h"
#include "forms/mergmess.h"
#include "support/TempDir.h"

#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Answers the program's message boxes without showing them, and keeps what was asked.
class TScriptedMessageBoxes : public IMessageBoxes {
public:
    enum class TKind { ErrorBox, Refusal, Warning, Confirm };
    void ErrorBox(QWidget *, const QString &text) override { Shown.push_back({TKind::ErrorBox, text}); }
    void Refusal(QWidget *, const QString &text) override { Shown.push_back({TKind::Refusal, text}); }
    bool Warning(QWidget *, const QString &text) override { return Answer(TKind::Warning, text); }
    bool Confirm(QWidget *, const QString &text) override { return Answer(TKind::Confirm, text); }
    std::vector<QString> Texts(TKind kind) const;

    // Answers for the next Warning or Confirm boxes, in order; No/Cancel once they run out.
    std::deque<bool> Answers;
    std::vector<std::pair<TKind, QString>> Shown;

private:
    bool Answer(TKind kind, const QString &text);
};

// Presses a button of every real QMessageBox that comes up while it lives: a zero-delay timer looks for the
// active modal widget from inside the box's own event loop.
class TModalBoxAnswerer : public QObject {
public:
    explicit TModalBoxAnswerer(QMessageBox::StandardButton press);
    struct TSeen {
        QString Title, Text;
        QMessageBox::Icon Icon;
        QMessageBox::StandardButtons Buttons;
    };
    std::vector<TSeen> Seen;

private:
    QTimer timer_;
};

// A fresh working folder (the current directory meanwhile) holding Results.sqlite with the empty table and, on
// Start, the program's four long-lived objects created in the program's order with their global references.
class FormsTest : public ::testing::Test {
protected:
    using TKind = TScriptedMessageBoxes::TKind;
    void SetUp() override;
    void TearDown() override;

    // n rows stored before the program starts: user "u<i>", maker "M<i % makers>", application "A<i % apps>",
    // version "<i>", Verification i % 4 - 1, path "C:\p<i>".
    void FillTable(int n, int makers = 3, int apps = 2);
    void WriteScanFile(const std::string &relativePath, const std::vector<invexa::TResultsRec> &records);
    static invexa::TResultsRec Record(const std::string &maker, const std::string &app);

    // Creates the objects, runs beforeShow, then shows the window (FormShow merges) and waits until it is exposed.
    void Start(IMessageBoxes *messageBoxes = nullptr, const std::function<void()> &beforeShow = {});
    void Stop();
    static bool WaitFor(const std::function<bool()> &condition);

    template <class W> W *Find(const char *name) const {
        W *widget = window->findChild<W *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    std::vector<QString> Items(const char *listName) const;
    void ClickButton(const char *name);

    // The results grid, as a user works it: clicks on a row's cell (column 1 unless told), keys to the focus.
    TResultsGrid *Grid() const { return window->ResultsGrid1; }
    TResultsModel *Model() const { return window->DataSource1; }
    void Click(int row, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               int column = 1);
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void Type(const QString &text);
    void Menu(const char *item);
    QString EditorText() const;
    QString Shown(int row, int column) const { return Model()->index(row, column).data().toString(); }
    std::vector<int> SelectedRows() const;
    std::vector<invexa::TResultRow> StoredRows() const { return dataModule->resultsTbl.ReadAfter(0, 1 << 30); }
    // The versions still stored, in table order: they name the rows FillTable made.
    std::vector<std::string> Versions() const;

    invexa::test::TTempDir dir;
    TScriptedMessageBoxes boxes;
    std::unique_ptr<TRuvolaform> window;
    std::unique_ptr<invexa::TDataModule1> dataModule;
    std::unique_ptr<TAboutBox> aboutBox;
    std::unique_ptr<TmergemessFm> progress;

private:
    std::string previousDir_;
};
