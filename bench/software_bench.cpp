// The Software page on a folder's results table (run bench/merge_export.sh's generator and `invexa merge`
// first): time until the page shows the catalogue, the slowest filter keystroke, the users of the first line,
// how long a writer waits for its small transactions while the page counts, against the same writer with the
// page idle, and how long the window's event loop waited while the page counted.
//
// usage: software_bench DIR [PICTURE.png]   (with a picture file, the page as shown with the first line chosen)
#include "forms/CatalogueModel.h"
#include "forms/IMessageBoxes.h"
#include "forms/SoftwarePage.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>

#include <SQLiteCpp/Database.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

using Clock = std::chrono::steady_clock;

namespace {

class TPrintBoxes : public IMessageBoxes {
public:
    void ErrorBox(QWidget *, const QString &text) override { std::printf("error box: %s\n", qPrintable(text)); }
    void Refusal(QWidget *, const QString &text) override { ErrorBox(nullptr, text); }
    bool Warning(QWidget *, const QString &) override { return true; }
    bool Confirm(QWidget *, const QString &) override { return true; }
};

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

template <class Signal> void WaitFor(TSoftwarePage &page, Signal signal) {
    QEventLoop loop;
    QObject::connect(&page, signal, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
}

// A writer of one-row transactions, as the grid's edits are, each timed from BEGIN to COMMIT.
class TWriter {
public:
    explicit TWriter(const std::string &dir) : thread_([this, dir] { Run(dir); }) {}
    ~TWriter() {
        stop_ = true;
        thread_.join();
    }
    double MaxMs() const { return maxMs_; }
    int Writes() const { return writes_; }

private:
    void Run(const std::string &dir) {
        SQLite::Database db(dir + "/Results.sqlite", SQLite::OPEN_READWRITE, 10000);
        while (!stop_) {
            auto start = Clock::now();
            db.exec("BEGIN IMMEDIATE");
            db.exec("UPDATE Results SET Verification = Verification WHERE rowid = (SELECT MAX(rowid) FROM Results)");
            db.exec("COMMIT");
            maxMs_ = std::max<double>(maxMs_, Ms(start));
            ++writes_;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    std::atomic<bool> stop_{false};
    std::atomic<double> maxMs_{0};
    std::atomic<int> writes_{0};
    std::thread thread_;
};

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: software_bench DIR [PICTURE.png]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string dir = argv[1];
    TPrintBoxes boxes;
    TSoftwarePage page(dir, boxes);
    page.resize(760, 470);

    // The window's event loop while the page counts: the longest gap between the ticks of a 10 ms timer.
    QTimer ticker;
    double longestTick = 0;
    auto lastTick = Clock::now();
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestTick = std::max(longestTick, Ms(lastTick));
        lastTick = Clock::now();
    });
    ticker.start(10);
    auto start = Clock::now();
    page.show();
    WaitFor(page, &TSoftwarePage::Counted);
    ticker.stop();
    std::printf("page shows the catalogue:      %.0f ms (%d lines)\n", Ms(start), page.CatalogueModel->rowCount());
    std::printf("longest 10 ms tick meanwhile:  %.0f ms\n", longestTick);

    double slowest = 0;
    const QString typed = QStringLiteral("microsoft office");
    for (int n = 1; n <= typed.size(); ++n) {
        start = Clock::now();
        page.FilterEB->setText(typed.left(n));
        app.processEvents();
        slowest = std::max(slowest, Ms(start));
    }
    for (int n = typed.size() - 1; n >= 0; --n) {
        start = Clock::now();
        page.FilterEB->setText(typed.left(n));
        app.processEvents();
        slowest = std::max(slowest, Ms(start));
    }
    std::printf("slowest filter keystroke:      %.1f ms\n", slowest);

    start = Clock::now();
    page.CatalogueGrid->setCurrentIndex(page.CatalogueModel->index(0, 0));
    WaitFor(page, &TSoftwarePage::UsersListed);
    std::printf("users of the first line:       %.0f ms\n", Ms(start));
    if (argc > 2)
        page.grab().save(QString::fromLocal8Bit(argv[2]));

    double idle = 0;
    {
        TWriter writer(dir);
        std::this_thread::sleep_for(std::chrono::seconds(3));
        idle = writer.MaxMs();
    }
    TWriter writer(dir);
    start = Clock::now();
    constexpr int Counts = 3;
    for (int i = 0; i < Counts; ++i) {
        page.Refresh();
        WaitFor(page, &TSoftwarePage::Counted);
    }
    std::printf("count while a writer writes:   %.0f ms each\n", Ms(start) / Counts);
    std::printf("writer's longest transaction:  %.0f ms counting, %.0f ms idle (%d writes)\n", writer.MaxMs(), idle,
                writer.Writes());
    return 0;
}
