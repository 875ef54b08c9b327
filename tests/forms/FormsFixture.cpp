#include "FormsFixture.h"

#include "data/ResultsDatabase.h"
#include "data/ScanFileWriter.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QWindow>

#include <SQLiteCpp/Transaction.h>

#include <filesystem>

std::vector<QString> TScriptedMessageBoxes::Texts(TKind kind) const {
    std::vector<QString> texts;
    for (const auto &[shownKind, text] : Shown)
        if (shownKind == kind)
            texts.push_back(text);
    return texts;
}

bool TScriptedMessageBoxes::Answer(TKind kind, const QString &text) {
    Shown.push_back({kind, text});
    const bool answer = !Answers.empty() && Answers.front();
    if (!Answers.empty())
        Answers.pop_front();
    return answer;
}

TModalBoxAnswerer::TModalBoxAnswerer(QMessageBox::StandardButton press) {
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, [this, press] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        Seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
        if (QAbstractButton *button = box->button(press))
            button->click();
        else
            box->reject();
    });
    timer_.start();
}

void FormsTest::SetUp() {
    previousDir_ = std::filesystem::current_path().string();
    std::filesystem::current_path(dir.Path());
    ASSERT_TRUE(invexa::TResultsDatabase::Create(dir.Path()));
}

void FormsTest::TearDown() {
    Stop();
    std::filesystem::current_path(previousDir_);
}

void FormsTest::FillTable(int n, int makers, int apps) {
    invexa::TDataModule1 module(dir.Path());
    auto &table = module.resultsTbl;
    table.Open();
    SQLite::Transaction transaction(module.database.Connection());
    for (int i = 0; i < n; ++i) {
        table.Append();
        table.SetField(invexa::TField::UserName, "u" + std::to_string(i));
        table.SetField(invexa::TField::AppMaker, "M" + std::to_string(i % makers));
        table.SetField(invexa::TField::AppName, "A" + std::to_string(i % apps));
        table.SetField(invexa::TField::Version, std::to_string(i));
        table.SetField(invexa::TField::Verification, i % 4 - 1);
        table.SetField(invexa::TField::AppPath, "C:\\p" + std::to_string(i));
        table.Post();
    }
    transaction.commit();
    table.Close();
}

void FormsTest::WriteScanFile(const std::string &relativePath, const std::vector<invexa::TResultsRec> &records) {
    const std::filesystem::path path = std::filesystem::path(dir.Path()) / relativePath;
    std::filesystem::create_directories(path.parent_path());
    invexa::TScanFileWriter::WriteFile(path.string(), records);
}

invexa::TResultsRec FormsTest::Record(const std::string &maker, const std::string &app) {
    invexa::TResultsRec rec;
    rec.AppMaker = maker;
    rec.AppName = app;
    rec.Version = "1.0";
    rec.Verification = -1;
    rec.AppPath = "C:\\" + app;
    return rec;
}

void FormsTest::Start(IMessageBoxes *messageBoxes, const std::function<void()> &beforeShow) {
    window = std::make_unique<TRuvolaform>(messageBoxes ? messageBoxes : &boxes);
    Ruvolaform = window.get();
    dataModule = std::make_unique<invexa::TDataModule1>(window->WorkDir());
    DataModule1 = dataModule.get();
    aboutBox = std::make_unique<TAboutBox>();
    AboutBox = aboutBox.get();
    progress = std::make_unique<TmergemessFm>();
    mergemessFm = progress.get();
    if (beforeShow)
        beforeShow();
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
}

void FormsTest::Stop() {
    mergemessFm = nullptr;
    AboutBox = nullptr;
    DataModule1 = nullptr;
    Ruvolaform = nullptr;
    progress.reset();
    aboutBox.reset();
    window.reset();
    dataModule.reset();
}

bool FormsTest::WaitFor(const std::function<bool()> &condition) {
    QDeadlineTimer deadline(5000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

std::vector<QString> FormsTest::Items(const char *listName) const {
    std::vector<QString> items;
    auto *list = Find<QListWidget>(listName);
    for (int i = 0; list && i < list->count(); ++i)
        items.push_back(list->item(i)->text());
    return items;
}

void FormsTest::ClickButton(const char *name) {
    QTest::mouseClick(Find<QAbstractButton>(name), Qt::LeftButton);
}

void FormsTest::Click(int row, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int column) {
    const QModelIndex index = Model()->index(row, column);
    Grid()->scrollTo(index);
    const QPoint at = Grid()->visualRect(index).center();
    // The current cell is covered by its editor, which receives the click there.
    QWidget *target = Grid()->viewport()->childAt(at);
    if (!target)
        target = Grid()->viewport();
    QTest::mouseClick(target, button, modifiers, target->mapFrom(Grid()->viewport(), at));
}

void FormsTest::Key(int key, Qt::KeyboardModifiers modifiers) {
    QWidget *target = QApplication::focusWidget();
    QTest::keyClick(target ? target : Grid(), static_cast<Qt::Key>(key), modifiers);
}

void FormsTest::Type(const QString &text) {
    auto *edit = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(edit, nullptr) << "no cell editor has the focus";
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

void FormsTest::Menu(const char *item) {
    auto *action = window->findChild<QAction *>(QString::fromLatin1(item));
    ASSERT_NE(action, nullptr) << item;
    action->trigger();
}

QString FormsTest::EditorText() const {
    auto *edit = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    return edit ? edit->text() : QString();
}

std::vector<int> FormsTest::SelectedRows() const {
    std::vector<int> rows;
    for (std::int64_t bookmark : Model()->Selection())
        rows.push_back(Model()->RowOfBookmark(bookmark));
    return rows;
}

std::vector<std::string> FormsTest::Versions() const {
    std::vector<std::string> versions;
    for (const auto &row : StoredRows())
        versions.push_back(row.Version);
    return versions;
}
