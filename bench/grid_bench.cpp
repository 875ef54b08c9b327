// The results page on a table of a million rows, in the real window (offscreen unless a display is asked
// for): time until the first rows are drawn, memory against an empty table, Ctrl+End, "Del all References" on
// the application of the first row, and the CSV button against `invexa export` on the same table, interleaved
// (button, tool, button, ...: RUNS of each, the best of each).
//
// usage: grid_bench [--csv] [--store URI] [ROWS | RESULTS_FILE] [INVEXA_TOOL] [RUNS=3]   (--csv: the CSV button alone)
// ROWS: a table of ROWS / 200 users of 200 rows each is written, every user's first row of one application.
// RESULTS_FILE: a copy of that table is used instead (and removed at the end), its first row's application deleted.
// The tool defaults to ./src/invexa beside the build's bench folder. The tables go under TMPDIR.
// --store URI (else $INVEXA_STORE): the window and the tool work on that PostgreSQL database instead, whose tables
// must be empty: the empty table's window is measured on it after `invexa init`, then the table written as above
// is copied into it with `invexa copy-store`.
#include "data/ResultsDatabase.h"
#include "data/results.h"
#include "forms/IMessageBoxes.h"
#include "forms/ResultsGrid.h"
#include "forms/ResultsModel.h"
#include "forms/about.h"
#include "forms/admnMain.h"
#include "forms/mergmess.h"
#include "pgsql/StoreChoice.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QWindow>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int UserRows = 200;

// Answers every question with Yes and prints any error instead of showing it.
class TYesBoxes : public IMessageBoxes {
public:
    void ErrorBox(QWidget *, const QString &text) override { std::printf("error box: %s\n", qPrintable(text)); }
    void Refusal(QWidget *, const QString &text) override { std::printf("refusal: %s\n", qPrintable(text)); }
    bool Warning(QWidget *, const QString &) override { return true; }
    bool Confirm(QWidget *, const QString &) override { return true; }
};

long StatusKb(const char *key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::string(key).size());
    return -1;
}

double Ms(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// Every user's first row belongs to the application that "Del all References" removes.
void Fill(const fs::path &folder, long rows) {
    invexa::TResultsDatabase::Create(folder.string());
    invexa::TDataModule1 data(folder.string());
    data.resultsTbl.Open();
    SQLite::Transaction transaction(data.database.Connection());
    for (long i = 0; i < rows; ++i) {
        invexa::TResultRow row;
        row.UserName = "user" + std::to_string(i / UserRows);
        row.AppMaker = i % UserRows == 0 ? "BenchMaker" : "Maker" + std::to_string(i % 97);
        row.AppName = i % UserRows == 0 ? "BenchApp" : "Application " + std::to_string(i % 1009);
        row.Version = std::to_string(i % 100) + ".0";
        row.Verification = static_cast<std::int16_t>(i % 4 - 1);
        row.AppPath = "C:\\Program Files\\Vendor " + std::to_string(i % 97) + "\\app" + std::to_string(i) + ".exe";
        data.resultsTbl.InsertRow(row);
    }
    transaction.commit();
}

// The tables are written by a child process: the memory a fill of millions of rows leaves with the allocator
// (freed, but kept by the process or given back, depending on where its last blocks lie) would otherwise count
// for or against the window in the memory measure, and the page faults of reusing it against the start-up time.
void FillApart(const fs::path &empty, const fs::path &big, const std::string &given, long rows) {
    const pid_t child = fork();
    if (child == 0) {
        Fill(empty, 0);
        if (rows == 0)
            fs::copy_file(given, big / invexa::TResultsDatabase::FileName);
        else
            Fill(big, rows);
        std::fflush(stdout);
        // On disk before any measure: otherwise the first commit in the window (the one-row delete before "Del
        // all References") would wait for the copy's gigabyte to be written out.
        ::sync();
        _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("the tables could not be written\n");
        std::exit(1);
    }
}

struct TWindow {
    std::unique_ptr<TRuvolaform> form;
    std::unique_ptr<invexa::TDataModule1> data;
    std::unique_ptr<TAboutBox> about;
    std::unique_ptr<TmergemessFm> progress;
    ~TWindow() {
        mergemessFm = nullptr;
        AboutBox = nullptr;
        DataModule1 = nullptr;
        Ruvolaform = nullptr;
    }
};

void WaitExposed(QWidget *widget) {
    while (!widget->windowHandle() || !widget->windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Start-up as the program does it, in the folder; returns once the grid has drawn its rows.
std::unique_ptr<TWindow> Open(const fs::path &folder, IMessageBoxes &boxes) {
    fs::current_path(folder);
    auto w = std::make_unique<TWindow>();
    w->form = std::make_unique<TRuvolaform>(boxes);
    Ruvolaform = w->form.get();
    w->data = invexa::TStoreChoice::Open(w->form->WorkDir(), invexa::TStoreChoice::Uri(std::nullopt));
    DataModule1 = w->data.get();
    w->about = std::make_unique<TAboutBox>(boxes);
    AboutBox = w->about.get();
    w->progress = std::make_unique<TmergemessFm>();
    mergemessFm = w->progress.get();
    w->form->show();
    WaitExposed(w->form.get());
    QCoreApplication::processEvents();
    w->form->ResultsGrid1->viewport()->repaint();
    return w;
}

void Key(int key, Qt::KeyboardModifiers modifiers) {
    // Straight to the grid: an offscreen window need not be the active one that receives the keyboard.
    QWidget *target = Ruvolaform->ResultsGrid1;
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(target, &release);
}

double TimeTool(const std::string &tool) {
    const auto start = Clock::now();
    const int rc = std::system((tool + " export > /dev/null").c_str());
    const double ms = Ms(start);
    if (rc != 0)
        std::printf("invexa export failed with %d\n", rc);
    return ms;
}

// The tool's command on the PostgreSQL store (given to the tool through the variable); the benchmark stops if it fails.
void RunTool(const std::string &tool, const fs::path &folder, const std::string &command) {
    const auto start = Clock::now();
    const int rc = std::system((tool + " -C '" + folder.string() + "' " + command + " > /dev/null").c_str());
    if (rc != 0) {
        std::printf("invexa %s failed with %d\n", command.c_str(), rc);
        std::exit(1);
    }
    std::printf("invexa %-16s %8.1f ms\n", (command.substr(0, command.find(' ')) + ":").c_str(), Ms(start));
}

// The CSV button and the tool's export of the same table, one after the other, runs times; the best of each.
void CompareExports(TWindow &w, const fs::path &folder, const std::string &tool, int runs) {
    double button = 1e300, toolMs = 1e300;
    bool same = true;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        w.form->CSVBtnClick();
        button = std::min(button, Ms(start));
        const auto size = fs::file_size(folder / "datadump.csv");
        toolMs = std::min(toolMs, TimeTool(tool));
        same = same && fs::file_size(folder / "datadump.csv") == size;
    }
    std::printf("CSV button:              %8.1f ms, invexa export %.1f ms: %.2fx (goal <= 1.10x)%s\n", button, toolMs,
                button / toolMs, same ? "" : "  (files differ in size!)");
}

// First rows, Ctrl+End, 200 PageUps and memory, against the window on the empty table.
void Browse(TWindow &w, double firstRows, long emptyRss, long bigRss) {
    TResultsGrid *grid = w.form->ResultsGrid1;
    std::printf("first rows shown:        %8.1f ms   (goal < 200 ms), %d rows\n", firstRows, grid->model()->rowCount());
    std::printf("memory at the start:     %8.1f MB more than with the empty table (%.1f MB against %.1f MB)\n",
                (bigRss - emptyRss) / 1024.0, bigRss / 1024.0, emptyRss / 1024.0);
    auto start = Clock::now();
    const long long stored = grid->ResultsModel()->StoredCount();
    std::printf("rest of the count:       %8.1f ms   (%lld rows; made while the first rows were shown)\n", Ms(start),
                stored);
    start = Clock::now();
    Key(Qt::Key_End, Qt::ControlModifier);
    grid->viewport()->repaint();
    std::printf("Ctrl+End:                %8.1f ms   (goal < 100 ms), current row %lld of %lld\n", Ms(start),
                static_cast<long long>(grid->ResultsModel()->Base() + grid->CurrentRow() + 1),
                static_cast<long long>(grid->ResultsModel()->StoredCount()));
    for (int i = 0; i < 200; ++i)
        Key(Qt::Key_PageUp, Qt::NoModifier);
    if (auto *bar = grid->findChild<QScrollBar *>(QStringLiteral("WholeTableBar")); bar && bar->isVisible()) {
        start = Clock::now();
        bar->setValue(bar->maximum() / 2);
        QCoreApplication::processEvents();
        grid->viewport()->repaint();
        std::printf("scroll bar to the middle:%8.1f ms   first row shown %lld (%s)\n", Ms(start),
                    static_cast<long long>(grid->ResultsModel()->Base() + grid->verticalScrollBar()->value() + 1),
                    qPrintable(grid->ResultsModel()->index(grid->verticalScrollBar()->value(), 0).data().toString()));
    }
    Key(Qt::Key_Home, Qt::ControlModifier);
    QCoreApplication::processEvents();
    std::printf("memory after browsing:   %8.1f MB more than with the empty table (goal < 50 MB; peak VmHWM %.1f MB)\n",
                (StatusKb("VmRSS:") - emptyRss) / 1024.0, StatusKb("VmHWM:") / 1024.0);
}

// A right-click on the first row, whose application every user has, and "Del all References".
void DeleteApplication(TWindow &w) {
    TResultsGrid *grid = w.form->ResultsGrid1;
    grid->MoveCurrent(0, 1);
    grid->ResultsModel()->SetSelected(grid->ResultsModel()->Bookmark(0), true, 0);
    const long long before = grid->ResultsModel()->StoredCount();
    const auto start = Clock::now();
    w.form->DelallReferencesMIClick();
    grid->viewport()->repaint();
    std::printf("Del all References:      %8.1f ms   (goal < 2000 ms), %lld rows removed\n", Ms(start),
                before - grid->ResultsModel()->StoredCount());
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool csvOnly = argc > 1 && std::string(argv[1]) == "--csv";
    if (csvOnly)
        --argc, ++argv;
    // The option stands for the variable, as in the window's program: the tool started here reads it too.
    if (argc > 2 && std::string(argv[1]) == "--store") {
        ::setenv(invexa::TStoreChoice::Variable, argv[2], 1);
        argc -= 2, argv += 2;
    }
    const std::string uri = invexa::TStoreChoice::Uri(std::nullopt);
    const std::string given = argc > 1 ? argv[1] : "1000000";
    const bool copied = fs::is_regular_file(given);
    const long rows = copied ? 0 : std::atol(given.c_str());
    const std::string tool =
        fs::absolute(argc > 2 ? fs::path(argv[2]) : fs::path(argv[0]).parent_path() / "../src/invexa").string();
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    const fs::path root = fs::temp_directory_path() / ("grid_bench_" + std::to_string(getpid()));
    const fs::path empty = root / "empty", big = root / "big";
    fs::create_directories(empty);
    fs::create_directories(big);
    auto start = Clock::now();
    FillApart(empty, big, given, rows);
    std::printf("table %s in %.0f ms (%.0f MB) under %s\n", copied ? "copied" : "written", Ms(start),
                static_cast<double>(fs::file_size(big / invexa::TResultsDatabase::FileName)) / 1e6,
                root.string().c_str());

    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Invexa Admin"));
    QApplication::setQuitOnLastWindowClosed(false);
    TYesBoxes boxes;
    if (!uri.empty())
        RunTool(tool, empty, "init");
    long emptyRss = 0;
    {
        auto w = Open(empty, boxes);
        emptyRss = StatusKb("VmRSS:");
    }
    if (!uri.empty())
        RunTool(tool, big, "copy-store --to \"$" + std::string(invexa::TStoreChoice::Variable) + "\"");
    start = Clock::now();
    auto w = Open(big, boxes);
    const double firstRows = Ms(start);
    if (!csvOnly) {
        Browse(*w, firstRows, emptyRss, StatusKb("VmRSS:"));
        DeleteApplication(*w);
    }
    CompareExports(*w, big, tool, runs);
    w.reset();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(root);
    return 0;
}
