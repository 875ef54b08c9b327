#include "WindowTest.h"

#include "config/ScanSettings.h"
#include "data/ResultsDatabase.h"
#include "data/ScanFileWriter.h"
#include "data/results.h"
#include "forms/about.h"
#include "forms/admnMain.h"
#include "forms/mergmess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QListWidget>
#include <QWindow>

void WindowTest::SetUp() {
    previousDir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
}

void WindowTest::TearDown() {
    Stop();
    std::filesystem::current_path(previousDir_);
}

void WindowTest::CreateDatabase() {
    ASSERT_TRUE(invexa::TResultsDatabase::Create(dir.Path()));
}

void WindowTest::WriteIni(const std::string &text) {
    dir.Write("INVEXA.INI", text);
}

std::string WindowTest::ReadIni() const {
    return dir.Read("INVEXA.INI");
}

bool WindowTest::IniExists() const {
    return dir.Exists("INVEXA.INI");
}

void WindowTest::WriteScanFile(const std::string &relativePath, const std::vector<invexa::TResultsRec> &records) {
    const std::filesystem::path path = std::filesystem::path(dir.Path()) / relativePath;
    std::filesystem::create_directories(path.parent_path());
    invexa::TScanFileWriter::WriteFile(path.string(), records);
}

void WindowTest::StoreRow(const std::string &user, const std::string &maker, const std::string &app) {
    invexa::TDataModule1 module(dir.Path());
    module.resultsTbl.Open();
    module.resultsTbl.Append();
    module.resultsTbl.SetField(invexa::TField::UserName, user);
    module.resultsTbl.SetField(invexa::TField::AppMaker, maker);
    module.resultsTbl.SetField(invexa::TField::AppName, app);
    module.resultsTbl.Post();
    module.resultsTbl.Close();
}

void WindowTest::Start(IMessageBoxes *messageBoxes) {
    window = std::make_unique<TRuvolaform>(messageBoxes ? messageBoxes : &boxes);
    Ruvolaform = window.get();
    dataModule = std::make_unique<invexa::TDataModule1>(window->WorkDir());
    DataModule1 = dataModule.get();
    aboutBox = std::make_unique<TAboutBox>();
    AboutBox = aboutBox.get();
    progress = std::make_unique<TmergemessFm>();
    mergemessFm = progress.get();
    window->show();
    ASSERT_TRUE(WaitFor([this] { return window->windowHandle() && window->windowHandle()->isExposed(); }));
}

void WindowTest::Stop() {
    mergemessFm = nullptr;
    AboutBox = nullptr;
    DataModule1 = nullptr;
    Ruvolaform = nullptr;
    progress.reset();
    aboutBox.reset();
    window.reset();
    dataModule.reset();
}

bool WindowTest::WaitFor(const std::function<bool()> &condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void WindowTest::ResizeClient(int width, int height) {
    window->resize(width, height);
    ASSERT_TRUE(WaitFor([&] { return window->size() == QSize(width, height); }))
        << "client area " << window->width() << " x " << window->height() << ", minimum "
        << window->minimumSizeHint().width() << " x " << window->minimumSizeHint().height();
    QCoreApplication::processEvents();
}

std::vector<QString> WindowTest::Items(const char *listName) const {
    std::vector<QString> items;
    auto *list = Find<QListWidget>(listName);
    for (int i = 0; list && i < list->count(); ++i)
        items.push_back(list->item(i)->text());
    return items;
}

invexa::TResultsRec WindowTest::Record(const std::string &maker, const std::string &app, const std::string &version,
                                       int verification, const std::string &path) {
    invexa::TResultsRec rec;
    rec.AppMaker = maker;
    rec.AppName = app;
    rec.Version = version;
    rec.Verification = static_cast<std::int8_t>(verification);
    rec.AppPath = path;
    return rec;
}
