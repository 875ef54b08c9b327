// Saving INVEXA.INI when the disk or the system refuses a step: the file is always wholly old or wholly new, the
// failure says "Unable to write to <path>", the edits and their flags survive for the next save. (A scanner reading
// it during a thousand saves: bench/settings_readers.)
#include "base/InvexaError.h"
#include "config/SettingsEditor.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <algorithm>
#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace invexa;
using namespace invexa::test;
namespace fs = std::filesystem;

namespace {

const std::string OldFile = "; kept by hand\r\n[Switches]\r\nStealthMode=0\r\nDistribution=Old\r\n[Other]\r\nx=1\r\n";

// Edits of two groups, large enough that a save of them is more than one block of the disk.
void Edit(TSettingsEditor &setup) {
    setup.SetDistribution("New");
    for (int i = 0; i < 200; ++i)
        setup.AddIgnore("Maker " + std::to_string(1000 + i), "Application");
}

// Entries of the folder but the saves' hidden lock file.
long CountEntries(const std::string &folder) {
    return static_cast<long>(std::count_if(fs::directory_iterator(folder), {}, [](const fs::directory_entry &e) {
        return e.path().filename().string().front() != '.';
    }));
}

TEST(SettingsSaveFaults, EachFailingStepLeavesTheOldFileAndTheFlagsAndTheNextSaveWorks) {
    rlimit sizeLimit{};
    auto nothing = [] { return true; };
    struct Fault {
        const char *What;
        mode_t FileMode, FolderMode;
        bool LongPath;
        std::function<bool()> Break;                   // in the save's process, just before it; false: cannot
        std::function<void(const std::string &)> Mend; // after the failed save; null: cannot be mended
    };
    const std::vector<Fault> faults = {
        {"file marked read-only", 0444, 0755, false, nothing,
         [](const std::string &folder) { chmod((folder + "/INVEXA.INI").c_str(), 0640); }},
        {"folder marked read-only", 0644, 0555, false, nothing,
         [](const std::string &folder) { chmod(folder.c_str(), 0755); }},
        // A folder path so long that INVEXA.INI fits within the system's path limit and the names of the lock and
        // temporary files beside it do not: the first step of the save fails, for the system's own reason.
        {"lock file cannot be created", 0644, 0755, true, nothing, nullptr},
        // A file-size limit lets the first write through in part and refuses the rest, as a full disk would.
        {"short write of the temporary file", 0644, 0755, false,
         [&] {
             std::signal(SIGXFSZ, SIG_IGN);
             getrlimit(RLIMIT_FSIZE, &sizeLimit);
             rlimit low{1000, sizeLimit.rlim_max};
             return setrlimit(RLIMIT_FSIZE, &low) == 0;
         },
         [&](const std::string &) { setrlimit(RLIMIT_FSIZE, &sizeLimit); }},
    };
    TTempDir fresh;
    fresh.Write("INVEXA.INI", OldFile);
    TSettingsEditor edited(fresh.Path());
    Edit(edited);
    edited.Save();
    const std::string newFile = fresh.Read("INVEXA.INI");
    for (const Fault &f : faults) {
        SCOPED_TRACE(f.What);
        TTempDir dir;
        std::string folder = dir.Path();
        while (f.LongPath && folder.size() + 16 < PATH_MAX)
            fs::create_directory(folder +=
                                 "/" + std::string(std::min<std::size_t>(200, PATH_MAX - 17 - folder.size()), 'd'));
        ASSERT_LT(folder.size() + 11, static_cast<std::size_t>(PATH_MAX));
        std::ofstream(folder + "/INVEXA.INI", std::ios::binary) << OldFile;
        ASSERT_EQ(chmod((folder + "/INVEXA.INI").c_str(), f.FileMode) | chmod(folder.c_str(), f.FolderMode), 0);
        TChildResult child = RunInChild([&] {
            TSettingsEditor setup(folder);
            Edit(setup);
            if (!f.Break())
                return std::string("cannot break");
            std::string report = "saved"; // then: the flags, whether the file is the old one, the folder's entries
            try {
                setup.Save();
            } catch (const EInvexaError &e) {
                report = std::string(e.what()).substr(0, ("Unable to write to " + folder + "/INVEXA.INI").size());
            }
            const TChangeFlags &flags = setup.Flags;
            report += "|flags " + std::to_string(flags.IgnoreListChanged) + std::to_string(flags.SwitchesChanged) +
                      std::to_string(flags.ExeNamesChanged) + "|" +
                      (ReadFile(folder + "/INVEXA.INI") == OldFile ? "old" : "changed") + " file|" +
                      std::to_string(CountEntries(folder)) + " entries";
            if (f.Mend) {
                f.Mend(folder);
                const std::string ini = folder + "/INVEXA.INI";
                const fs::perms mode = fs::status(ini).permissions();
                setup.Save(); // the next close saves again
                report += fs::status(ini).permissions() == mode ? "|mode kept" : "|mode changed";
            }
            return report;
        });
        ASSERT_TRUE(child.ExitedCleanly());
        if (child.Text == "cannot break") {
            std::cout << "[ skipped  ] " << f.What << ": needs root and a user 'nobody'\n";
            continue;
        }
        EXPECT_EQ(child.Text, "Unable to write to " + folder + "/INVEXA.INI|flags 110|old file|1 entries" +
                                  (f.Mend ? "|mode kept" : ""));
        if (!f.Mend)
            continue;
        EXPECT_EQ(ReadFile(folder + "/INVEXA.INI"), newFile);
        EXPECT_EQ(CountEntries(folder), 1) << "temporary file left behind";
    }
}

// A save keeps the file's owner, group, mode and extended attributes: by replacing it when the saver can give the
// new file all of them (root), else by rewriting it in place. A copy a cut-short rewrite left is reported, kept,
// and stops the next save.
TEST(SettingsSaveOwnership, OwnerGroupModeAndAttributesAreKept) {
    TTempDir cut;
    cut.Write("INVEXA.INI", "half a file");
    cut.Write("INVEXA.INI.before-save", OldFile);
    const std::string notice = "A save of " + cut.File("INVEXA.INI") +
                               " was cut short; its earlier content is kept in " + cut.File("INVEXA.INI.before-save");
    EXPECT_EQ(CutShortSave(cut.Path()).value_or(""), notice);
    TSettingsEditor setup(cut.Path());
    Edit(setup);
    EXPECT_THROW(setup.Save(), EInvexaError);
    EXPECT_EQ(cut.Read("INVEXA.INI") + "|" + cut.Read("INVEXA.INI.before-save"), "half a file|" + OldFile);

    const passwd *nobody = getpwnam("nobody");
    if (geteuid() != 0 || !nobody) {
        std::cout << "[ skipped  ] another owner: needs root and a user 'nobody'\n";
        return;
    }
    struct Case {
        const char *What;
        gid_t Group;
        mode_t Mode;
        bool AsNobody, InPlace;
    };
    const std::vector<Case> cases = {
        {"another account's file, saved by root", 2000, 02640, false, false},
        {"group-writable file of another account, saved by nobody", nobody->pw_gid, 0660, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.What);
        TTempDir dir;
        const std::string ini = dir.File("INVEXA.INI");
        dir.Write("INVEXA.INI", OldFile);
        ASSERT_EQ(chmod(dir.Path().c_str(), 0777) | chown(ini.c_str(), 4321, c.Group) | chmod(ini.c_str(), c.Mode), 0);
        const bool attributes = setxattr(ini.c_str(), "user.origin", "scanner", 7, 0) == 0;
        struct stat before {
        }, after{};
        stat(ini.c_str(), &before);
        TChildResult child = RunInChild([&] {
            if (c.AsNobody && !BecomeNobody())
                return std::string("cannot become nobody");
            TSettingsEditor edited(dir.Path());
            edited.SetDistribution("Kept");
            edited.Save();
            return std::string("saved");
        });
        EXPECT_EQ(child.Text, "saved");
        stat(ini.c_str(), &after);
        EXPECT_EQ(
            std::to_string(after.st_uid) + ":" + std::to_string(after.st_gid) + " " +
                std::to_string(after.st_mode & 07777) + (after.st_ino == before.st_ino ? " in place" : " replaced"),
            "4321:" + std::to_string(c.Group) + " " + std::to_string(c.Mode) + (c.InPlace ? " in place" : " replaced"));
        EXPECT_NE(dir.Read("INVEXA.INI").find("Distribution=Kept\r\n"), std::string::npos);
        char value[16] = {};
        if (attributes) {
            ssize_t length = getxattr(ini.c_str(), "user.origin", value, sizeof value);
            EXPECT_EQ(std::string(value, static_cast<std::size_t>(std::max<ssize_t>(0, length))), "scanner");
        }
        EXPECT_EQ(CountEntries(dir.Path()), 1) << "temporary file or copy left behind";
    }
}

} // namespace
