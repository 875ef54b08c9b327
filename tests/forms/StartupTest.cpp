// Start-up (the settings load in FormCreate, the merge in FormShow), the close that saves, and the about box.
#include "FormsFixture.h"
#include "config/SettingsLoadSave.h"
#include "support/ChildProcess.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
// Records the text a label holds each time it is painted.
struct TPaintRecorder : QObject {
    explicit TPaintRecorder(QLabel *label) { label->installEventFilter(this); }
    bool eventFilter(QObject *label, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            Painted << static_cast<QLabel *>(label)->text();
        return false;
    }
    QStringList Painted;
};
} // namespace

using StartupTest = FormsTest;

// The scan files are merged behind the progress window before the window shows on its results page; a close
// without edits writes no settings.
TEST_F(StartupTest, MergesScanFilesBehindTheProgressWindowThenShowsAndAnUneditedCloseWritesNothing) {
    WriteScanFile("alpha.ivx", {{"Mozilla", "Firefox"}, {"Adobe", "Reader"}});
    WriteScanFile("bravo.ivx", {{"7-Zip", "7-Zip"}});
    std::unique_ptr<TPaintRecorder> fileNames, headline;
    Start(nullptr, [&] {
        fileNames = std::make_unique<TPaintRecorder>(progress->FilenameLbl);
        headline = std::make_unique<TPaintRecorder>(progress->Label1);
    });
    EXPECT_TRUE(fileNames->Painted.contains("alpha.ivx") && fileNames->Painted.contains("bravo.ivx"));
    EXPECT_EQ(headline->Painted.value(0), "Merging data files...");
    EXPECT_FALSE(progress->isVisible());
    EXPECT_FALSE(dir.Exists("ivx/alpha.ivx") || dir.Exists("ivx/bravo.ivx"));
    ASSERT_EQ(Model()->rowCount(), 3);
    EXPECT_EQ(Shown(0, 0), "alpha");
    EXPECT_EQ(Shown(2, 2), "7-Zip");
    EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentWidget(), Find<QWidget>("ResultsSheet"));
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(dir.Exists("INVEXA.INI"));
    EXPECT_EQ(boxes.Shown, QStringList());
}

TEST_F(StartupTest, ErrorsInFormCreateAndFormShowAreReportedAndStartUpGoesOn) {
    // A UTF-16 settings file is refused rather than misread; a text length of 250 is beyond what a scanner writes.
    dir.Write("INVEXA.INI", std::string("\xFF\xFE[\0S\0]\0", 8));
    WriteScanFile("good.ivx", {{"A", "B"}});
    dir.Write("ivx/bad.ivx", std::string("\xFA\x00\x00\x00", 4) + std::string(250, 'x'));
    WriteScanFile("workstation-0001-a.ivx", {{"A", "B"}});
    WriteScanFile("workstation-0001-b.ivx", {{"A", "B"}});
    Start();
    const QStringList errors = boxes.Shown;
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_TRUE(errors[0].startsWith("Error: ") && errors[0].contains("UTF-16") && errors[1].contains("bad.ivx") &&
                errors[1].contains("\nWarning: ") && errors[1].contains("workstation-0001-b.ivx"))
        << errors.join(" | ").toStdString();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(progress->isVisible());
    EXPECT_FALSE(window->ChangeFlags().Any());
    EXPECT_TRUE(dir.Exists("ivx/bad.ivx"));
    EXPECT_EQ(Model()->rowCount(), 2);
}

// The settings load into the page with their change flags cleared after the boxes were set (how they load and
// save is the core's: tests/config). A close writes a cell edit not yet written first, as leaving its row would;
// when the settings cannot be saved the error box tells so and the window stays open until a later close.
TEST_F(StartupTest, LoadsTheSettingsAndACloseWritesAPendingEditThenSaves) {
    dir.Write("INVEXA.INI", "[Ignore Apps]\r\nzeta=\r\nbeta=\r\n[Switches]\r\nStealthMode=0\r\nDistribution=Caf\xE9\r\n"
                            "[EXE Names]\r\nAlpha=a.exe\r\n");
    ASSERT_EQ(chmod(dir.File("INVEXA.INI").c_str(), 0444), 0);
    FillTable(2);
    Start();
    EXPECT_EQ(Items("IgnoreLB") + "/" + Items("ExeNamesLB") + "/" + Find<QLineEdit>("DistributionEB")->text(),
              QString::fromUtf8("beta|zeta/Alpha=a.exe/Café"));
    EXPECT_FALSE(Find<QCheckBox>("StealthModeCB")->isChecked());
    EXPECT_FALSE(window->ChangeFlags().Any());
    Find<QLineEdit>("MakerEB")->setText("Adobe");
    ClickButton("AddBtn");
    Click(0);
    Type("Edited");
    QSignalSpy closed(window.get(), &TRuvolaform::Closed);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(StoredRows()[0].AppMaker, "Edited");
    EXPECT_EQ(boxes.Shown,
              QStringList{"Error: Unable to write to " + QString::fromStdString(window->WorkDir()) + "/INVEXA.INI."});
    ASSERT_EQ(chmod(dir.File("INVEXA.INI").c_str(), 0644), 0);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(invexa::LoadSettings(dir.Path()).IgnoreList, (std::vector<std::string>{"Adobe", "beta", "zeta"}));

    // A value the column refuses, then an edit of a row another program changes meanwhile: each is dropped, and
    // nothing is saved yet; the distribution text, taken keystroke by keystroke, is checked at the save.
    Stop();
    boxes.Shown.clear();
    Start();
    Find<QCheckBox>("StealthModeCB")->setChecked(true);
    Click(1, Qt::LeftButton, {}, 4);
    Type("40000");
    EXPECT_FALSE(window->close());
    EXPECT_EQ(EditorText(), "0");
    Click(1);
    Type("Mine");
    SQLite::Database(dir.File(invexa::TResultsDatabase::FileName), SQLite::OPEN_READWRITE)
        .exec("UPDATE Results SET AppMaker = 'Theirs' WHERE rowid = " + std::to_string(Model()->Bookmark(1)));
    EXPECT_FALSE(window->close());
    Find<QLineEdit>("DistributionEB")->setText("Site\n[Ignore Apps]\nEvil=");
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(boxes.Shown.size() == 3 && boxes.Shown[0].contains("32767") &&
                boxes.Shown[1].contains("changed by another program") &&
                boxes.Shown[2] == "Refusal: The distribution text cannot hold a line break or a NUL character")
        << boxes.Shown.join(" | ").toStdString();
    auto *editor = qobject_cast<QLineEdit *>(Grid()->indexWidget(Grid()->currentIndex()));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(QString::number(Grid()->CurrentRow()) + Shown(1, 1) + "/" + editor->text(), "1Theirs/Theirs");
    EXPECT_FALSE(invexa::LoadSettings(dir.Path()).StealthMode);
    Find<QLineEdit>("DistributionEB")->setText("Site");
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(invexa::LoadSettings(dir.Path()).StealthMode);
    EXPECT_EQ(StoredRows()[1].AppMaker + std::to_string(*StoredRows()[1].Verification), "Theirs0");
    EXPECT_EQ(boxes.Shown.size(), 3u);
}

TEST_F(StartupTest, AboutBoxIsOneNonModalBoxCentredFirstThenWhereItWasHidden) {
    Start();
    ClickButton("AboutBtn");
    ClickButton("AboutBtn");
    ASSERT_TRUE(QTest::qWaitFor([this] { return aboutBox->isVisible(); }));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    int shown = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        shown += qobject_cast<TAboutBox *>(w) && w->isVisible();
    EXPECT_EQ(shown, 1);
    const QPoint offCentre = aboutBox->frameGeometry().center() - aboutBox->screen()->availableGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 2);

    aboutBox->move(40, 50);
    ASSERT_TRUE(QTest::qWaitFor([this] { return aboutBox->pos() == QPoint(40, 50); }));
    QTest::mouseClick(aboutBox->OKButton, Qt::LeftButton);
    EXPECT_FALSE(aboutBox->isVisible());
    ClickButton("AboutBtn");
    ASSERT_TRUE(QTest::qWaitFor([this] { return aboutBox->isVisible(); }));
    EXPECT_EQ(aboutBox->pos(), QPoint(40, 50));
    // Without a Cancel button Escape does nothing; Enter presses OK.
    QTest::keyClick(aboutBox.get(), Qt::Key_Escape);
    EXPECT_TRUE(aboutBox->isVisible());
    QTest::keyClick(aboutBox.get(), Qt::Key_Return);
    EXPECT_FALSE(aboutBox->isVisible());
}

// The real program, started in a working folder as a user starts it: it merges the waiting scan file before the
// window shows and then runs its event loop; started again with nothing to merge, it holds no lock on the table
// that would keep another program from writing while the window is open.
TEST(RealProgram, MergesAtStartThenRunsWithoutHoldingTheTable) {
    const char *admin = INVEXA_ADMIN_PATH;
    ASSERT_TRUE(std::filesystem::exists(admin)) << admin;
    invexa::test::TTempDir dir;
    ASSERT_TRUE(invexa::TResultsDatabase::Create(dir.Path()));
    std::filesystem::create_directories(dir.File("ivx"));
    const std::string table = dir.File(invexa::TResultsDatabase::FileName);
    // Started in the folder, or anywhere with the folder as its argument.
    auto start = [&](bool argument) {
        return argument ? invexa::test::Start(admin, {dir.Path()}, "/dev/null", "/dev/null", "/")
                        : invexa::test::Start(admin, {}, "/dev/null", "/dev/null", dir.Path());
    };
    using invexa::test::WaitUntil;
    // Ends the program on every way out of the test, failures included: a program left running would keep the
    // test's output open, and CTest waiting for it.
    struct TRunning {
        pid_t program;
        ~TRunning() {
            if (program <= 0)
                return;
            int status = 0;
            EXPECT_EQ(::waitpid(program, &status, WNOHANG), 0) << "the program ended by itself: " << status;
            ::kill(program, SIGTERM);
            ::waitpid(program, &status, 0);
        }
    };

    invexa::ScanFileWriter::WriteFile(dir.File("ivx/alice.ivx"), invexa::ScanFileWriter::SampleRecords(1, 3));
    {
        TRunning running{start(true)};
        ASSERT_GT(running.program, 0);
        EXPECT_TRUE(WaitUntil([&] { return !std::filesystem::exists(dir.File("ivx/alice.ivx")); }))
            << "the scan file was not merged";
        EXPECT_EQ(SQLite::Database(table).execAndGet("SELECT count(*) FROM Results WHERE UserName = 'alice'").getInt(),
                  3);
    }

    TRunning running{start(false)};
    const pid_t program = running.program;
    ASSERT_GT(program, 0);
    // Once the program has the table's file open, it opens the table at once, before its window shows.
    const std::string fds = "/proc/" + std::to_string(program) + "/fd";
    EXPECT_TRUE(WaitUntil([&] {
        std::error_code ec;
        for (const auto &fd : std::filesystem::directory_iterator(fds, ec))
            if (std::filesystem::read_symlink(fd.path(), ec) == table)
                return true;
        return false;
    })) << "the program never opened the table";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int changed = 0;
    try {
        changed = SQLite::Database(table, SQLite::OPEN_READWRITE, 2000).exec("UPDATE Results SET Version = 'other'");
    } catch (const SQLite::Exception &e) {
        ADD_FAILURE() << "another program could not write while the window was open: " << e.what();
    }
    EXPECT_EQ(changed, 3);
}
