// Invexa Admin: the administrator's window over one working folder (the current directory).
#include "data/results.h"
#include "forms/ErrorBox.h"
#include "forms/MessageBoxes.h"
#include "forms/WindowLook.h"
#include "forms/about.h"
#include "forms/admnMain.h"
#include "forms/mergmess.h"
#include "pgsql/StoreChoice.h"

#include <QApplication>
#include <QFileDialog>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

const char Usage[] = "Usage: invexa-admin [--choose-folder] [--store URI] [FOLDER]\n"
                     "       invexa-admin --help | --version\n"
                     "Runs the Invexa administrator in FOLDER (default: the current directory): merges the waiting\n"
                     "scan files, then shows the results and the scanners' settings.\n"
                     "  --choose-folder  with no FOLDER, ask for the folder first (for starting from a menu)\n"
                     "  --store URI      the results in this PostgreSQL database (postgresql://...) instead of\n"
                     "                   Results.sqlite in FOLDER; default: $INVEXA_STORE\n";

// What the command line asks for. Options that need no window are answered before any display is touched.
struct TStartOptions {
    int ExitStatus = -1; // >= 0: end with this status at once
    bool ChooseFolder = false;
    std::string Folder;
    std::optional<std::string> Store;
};

TStartOptions Exit(int status) {
    TStartOptions options;
    options.ExitStatus = status;
    return options;
}

TStartOptions ParseArguments(int argc, char *argv[]) {
    TStartOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--help" || word == "-h") {
            std::fputs(Usage, stdout);
            return Exit(0);
        } else if (word == "--version") {
            std::printf("invexa-admin %s\n", INVEXA_VERSION);
            return Exit(0);
        } else if (word == "--choose-folder") {
            options.ChooseFolder = true;
        } else if (word == "--store" && i + 1 < argc) {
            options.Store = argv[++i];
        } else if (word.rfind("--store=", 0) == 0) {
            options.Store = word.substr(8);
        } else if (word.rfind('-', 0) == 0 || !options.Folder.empty()) {
            std::fprintf(stderr, "invexa-admin: unexpected argument '%s'\n%s", word.c_str(), Usage);
            return Exit(2);
        } else {
            options.Folder = word;
        }
    }
    return options;
}

// The working folder is the current directory when the main window is created, so a folder given on the
// command line (or chosen) becomes the current directory first.
bool EnterFolder(const std::string &folder) {
    if (folder.empty() || chdir(folder.c_str()) == 0)
        return true;
    std::fprintf(stderr, "invexa-admin: cannot work in %s: %s\n", folder.c_str(), std::strerror(errno));
    return false;
}

} // namespace

int main(int argc, char *argv[]) {
    TStartOptions options = ParseArguments(argc, argv);
    if (options.ExitStatus >= 0)
        return options.ExitStatus;
    if (!EnterFolder(options.Folder))
        return 1;
    QApplication app(argc, argv);
    if (options.ChooseFolder && options.Folder.empty()) {
        const QString chosen = QFileDialog::getExistingDirectory(nullptr, QStringLiteral("Choose the scan folder"));
        if (chosen.isEmpty() || !EnterFolder(chosen.toStdString()))
            return chosen.isEmpty() ? 0 : 1;
    }
    WindowLook::InitApplication();

    // The order matters: FormCreate runs inside the main window's construction and must not need the other
    // three; FormShow, run when the window is first shown, needs all of them.
    // Every window's messages go through one set of boxes, made here with the windows.
    TMessageBoxes boxes;
    // The option stands for the variable in this process: every reader of the table (the catalogue's threads too)
    // chooses the same store.
    if (options.Store)
        ::setenv(invexa::TStoreChoice::Variable, options.Store->c_str(), 1);
    auto mainWindow = std::make_unique<TRuvolaform>(boxes);
    Ruvolaform = mainWindow.get();
    std::unique_ptr<invexa::TDataModule1> dataModule;
    try {
        dataModule = invexa::TStoreChoice::Open(Ruvolaform->WorkDir(), invexa::TStoreChoice::Uri(std::nullopt));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "invexa-admin: %s\n", e.what());
        boxes.ErrorBox(nullptr, ErrorBox::Text(e.what()));
        return 1;
    }
    DataModule1 = dataModule.get();
    auto aboutBox = std::make_unique<TAboutBox>(boxes);
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
