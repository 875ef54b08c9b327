// Saving INVEXA.INI when the disk or the system refuses a step, and while a scanner reads it: the file is always
// wholly old or wholly new, the failure says "Unable to write to <path>", the edits and their flags survive for
// the next save.
#include "config/ScanSetup.h"
#include "data/InvexaError.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace invexa;
using namespace invexa::test;
namespace fs = std::filesystem;

namespace {

const std::string OldFile = "; kept by hand\r\n[Switches]\r\nStealthMode=0\r\nDistribution=Old\r\n[Other]\r\nx=1\r\n";

// Edits of two groups, large enough that a save of them is more than one block of the disk.
void Edit(TScanSetup &setup) {
    setup.SetDistribution("New");
    for (int i = 0; i < 200; ++i)
        setup.AddIgnore("Maker " + std::to_string(1000 + i), "Application");
}

std::string Flags(const TChangeFlags &f) {
    return std::to_string(f.IgnoreListChanged) + std::to_string(f.SwitchesChanged) + std::to_string(f.ExeNamesChanged);
}

std::size_t CountEntries(const std::string &folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
}

// What a failed save must leave, in one line: its message, the flags, whether the file is the old one, how many
// entries the folder holds.
std::string AfterFailedSave(TScanSetup &setup, const std::string &folder) {
    std::string message = "saved";
    try {
        setup.Save();
    } catch (const EInvexaError &e) {
        message = e.what();
    }
    std::string now;
    {
        int fd = ::open((folder + "/INVEXA.INI").c_str(), O_RDONLY);
        char buf[65536];
        for (ssize_t n; fd >= 0 && (n = ::read(fd, buf, sizeof buf)) > 0;)
            now.append(buf, static_cast<std::size_t>(n));
        if (fd >= 0)
            ::close(fd);
    }
    return message + "|flags " + Flags(setup.Flags) + "|" + (now == OldFile ? "old file" : "changed file") + "|" +
           std::to_string(CountEntries(folder)) + " entries";
}

std::string ExpectedAfterFailure(const std::string &folder) {
    return "Unable to write to " + folder + "/INVEXA.INI|flags 110|old file|1 entries";
}

// The retried save wrote the edits: a fresh load sees them, and the untouched section is still there.
void ExpectSavedOnRetry(const TTempDir &dir, const TScanSettings &edited) {
    EXPECT_EQ(TScanSetup(dir.Path()).Settings, edited);
    EXPECT_NE(dir.Read("INVEXA.INI").find("[Other]\r\nx=1\r\n"), std::string::npos);
    EXPECT_EQ(dir.Read("INVEXA.INI").rfind("; kept by hand\r\n", 0), 0u);
    EXPECT_EQ(CountEntries(dir.Path()), 1u) << "temporary file left behind";
}

TEST(SettingsSaveFaults, TemporaryFileCannotBeCreated) {
    // A folder path so long that INVEXA.INI still fits within the system's path limit and the temporary name
    // beside it no longer does: the first step of the save fails, for the system's own reason.
    TTempDir root;
    std::string folder = root.Path();
    const std::size_t target = PATH_MAX - 16; // INVEXA.INI fits, INVEXA.INI.tmp-XXXXXX does not
    while (folder.size() < target) {
        std::size_t part = std::min<std::size_t>(200, target - folder.size() - 1);
        folder += "/" + std::string(std::max<std::size_t>(part, 1), 'd');
        ASSERT_TRUE(fs::create_directory(folder)) << folder.size();
    }
    ASSERT_LT(folder.size() + 11, static_cast<std::size_t>(PATH_MAX));
    ASSERT_GE(folder.size() + 22, static_cast<std::size_t>(PATH_MAX));
    {
        int fd = ::open((folder + "/INVEXA.INI").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, OldFile.data(), OldFile.size()), static_cast<ssize_t>(OldFile.size()));
        ::close(fd);
    }
    TScanSetup setup(folder);
    Edit(setup);
    EXPECT_EQ(AfterFailedSave(setup, folder), ExpectedAfterFailure(folder));

    // The same edits, saved into a read-only folder: refused before anything is written.
    TTempDir dir;
    dir.Write("INVEXA.INI", OldFile);
    TScanSetup locked(dir.Path());
    Edit(locked);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    EXPECT_EQ(AfterFailedSave(locked, dir.Path()), ExpectedAfterFailure(dir.Path()));
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    locked.Save();
    ExpectSavedOnRetry(dir, locked.Settings);
}

TEST(SettingsSaveFaults, ShortWriteOfTheTemporaryFile) {
    TTempDir dir;
    dir.Write("INVEXA.INI", OldFile);
    // A file-size limit lets the first write through in part and refuses the rest, as a full disk would.
    TChildResult child = RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{};
        ::getrlimit(RLIMIT_FSIZE, &lim);
        rlimit low{1000, lim.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &low);
        TScanSetup setup(dir.Path());
        Edit(setup);
        std::string report = AfterFailedSave(setup, dir.Path());
        ::setrlimit(RLIMIT_FSIZE, &lim);
        setup.Save(); // the next close saves again, now that the disk takes it
        return report;
    });
    ASSERT_TRUE(child.ExitedCleanly());
    EXPECT_EQ(child.Text, ExpectedAfterFailure(dir.Path()));
    TScanSetup edited(dir.Path() + "/nowhere");
    Edit(edited);
    TScanSettings expected = TScanSetup(dir.Path()).Settings;
    EXPECT_EQ(expected.Distribution, "New");
    EXPECT_EQ(expected.IgnoreList, edited.Settings.IgnoreList);
    ExpectSavedOnRetry(dir, expected);
}

TEST(SettingsSaveFaults, RenameOverTheFileIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    // A shared folder with the sticky bit, INVEXA.INI belonging to another user (root) and writable by all:
    // every check passes and the temporary file is written, but only the owner may replace the file.
    TTempDir dir;
    dir.Write("INVEXA.INI", OldFile);
    ASSERT_EQ(::chmod(dir.File("INVEXA.INI").c_str(), 0666), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 01777), 0);
    TChildResult child = RunInChild([&] {
        TScanSetup setup(dir.Path());
        Edit(setup);
        if (!BecomeNobody())
            return std::string("cannot become nobody");
        std::string report = AfterFailedSave(setup, dir.Path());
        if (::seteuid(0) != 0 || ::setegid(0) != 0)
            return std::string("cannot become root again");
        setup.Save();
        return report;
    });
    ASSERT_TRUE(child.ExitedCleanly());
    if (child.Text == "cannot become nobody")
        GTEST_SKIP() << "no user 'nobody' to act as";
    EXPECT_EQ(child.Text, ExpectedAfterFailure(dir.Path()));
    TScanSettings saved = TScanSetup(dir.Path()).Settings;
    EXPECT_EQ(saved.Distribution, "New");
    EXPECT_EQ(saved.IgnoreList.size(), 200u);
    ExpectSavedOnRetry(dir, saved);
}

// ---- A scanner reading INVEXA.INI while the administrator saves it ----------------------------------------------

TEST(SettingsBesideScanners, ReaderInATightLoopSeesOnlyWholeFilesOverAThousandSaves) {
    // In memory when the system has such a folder: each save syncs twice, and a thousand of them on a disk
    // would make this the slowest test of the suite.
    TTempDir dir(fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string());
    dir.Write("INVEXA.INI", OldFile);
    TScanSetup setup(dir.Path());
    Edit(setup); // a file of several blocks, so a file written in place would be seen half-written
    const std::string a = "Head Office", b = "Branch";
    setup.SetDistribution(a);
    setup.Save();
    const std::string fileA = dir.Read("INVEXA.INI");
    setup.SetDistribution(b);
    setup.Save();
    const std::string fileB = dir.Read("INVEXA.INI");
    ASSERT_NE(fileA, fileB);
    ASSERT_GT(fileA.size(), 4096u); // more than one read of the scanner

    // The scanner: another process reading the whole file with plain reads, as fast as it can, until told to
    // stop; it reports how many reads it made and what they saw.
    int ready[2], stop[2], report[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(stop), 0);
    ASSERT_EQ(::pipe(report), 0);
    pid_t scanner = ::fork();
    ASSERT_GE(scanner, 0);
    if (scanner == 0) {
        ::close(stop[1]); // so that the test closing its end is seen as the end of the pipe
        ::close(report[0]);
        const std::string path = dir.File("INVEXA.INI");
        long reads = 0, sawA = 0, sawB = 0, torn = 0;
        (void)!::write(ready[1], "r", 1);
        for (pollfd p{stop[0], POLLIN, 0}; ::poll(&p, 1, 0) == 0;) {
            std::string bytes;
            int fd = ::open(path.c_str(), O_RDONLY);
            char buf[4096];
            for (ssize_t n; fd >= 0 && (n = ::read(fd, buf, sizeof buf)) > 0;)
                bytes.append(buf, static_cast<std::size_t>(n));
            if (fd >= 0)
                ::close(fd);
            ++reads;
            // A missing file counts as torn as well: the scanner would fall back to its defaults.
            (bytes == fileA ? sawA : bytes == fileB ? sawB : torn)++;
        }
        std::string text = std::to_string(reads) + " " + std::to_string(sawA) + " " + std::to_string(sawB) + " " +
                           std::to_string(torn);
        (void)!::write(report[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(stop[0]);
    ::close(report[1]);
    char c = 0;
    pollfd p{ready[0], POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 10000), 1);
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    for (int i = 0; i < 1000; ++i) {
        setup.SetDistribution(i % 2 ? b : a);
        setup.Save();
    }
    ::close(stop[1]);
    std::string text;
    char buf[256];
    for (pollfd r{report[0], POLLIN, 0}; ::poll(&r, 1, 10000) == 1;) {
        ssize_t n = ::read(report[0], buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(report[0]);
    int status = 0;
    ASSERT_TRUE(WaitFor(scanner, status, std::chrono::seconds(10)));
    long reads = 0, sawA = 0, sawB = 0, torn = 0;
    std::istringstream(text) >> reads >> sawA >> sawB >> torn;
    EXPECT_EQ(torn, 0) << "reads that saw neither the old nor the new file, of " << reads;
    EXPECT_EQ(sawA + sawB, reads);
    EXPECT_GT(sawA, 0);
    EXPECT_GT(sawB, 0);
    std::cout << "[ readers  ] " << reads << " whole reads over 1000 saves\n";
}

} // namespace
