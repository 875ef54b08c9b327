// Invexa Admin: the administrator's window over one working folder (the current directory).
#include "data/results.h"
#include "forms/WindowLook.h"
#include "forms/about.h"
#include "forms/admnMain.h"
#include "forms/mergmess.h"

#include <QApplication>

#include <memory>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    TWindowLook::InitApplication();

    // The order matters: FormCreate runs inside the main window's construction and must not need the other
    // three; FormShow, run when the window is first shown, needs all of them.
    auto mainWindow = std::make_unique<TRuvolaform>();
    Ruvolaform = mainWindow.get();
    auto dataModule = std::make_unique<invexa::TDataModule1>(Ruvolaform->WorkDir());
    DataModule1 = dataModule.get();
    auto aboutBox = std::make_unique<TAboutBox>();
    AboutBox = aboutBox.get();
    auto progress = std::make_unique<TmergemessFm>();
    mergemessFm = progress.get();

    QObject::connect(Ruvolaform, &TRuvolaform::Closed, &app, &QApplication::quit, Qt::QueuedConnection);
    Ruvolaform->show();
    const int status = app.exec();

    mergemessFm = nullptr;
    AboutBox = nullptr;
    DataModule1 = nullptr;
    Ruvolaform = nullptr;
    return status;
}
