// Files planted in the working folder by anyone who can write it: symbolic links (to a file elsewhere, dangling),
// FIFOs, folders and other non-regular files in place of INVEXA.INI, datadump.csv, Results.sqlite and scan
// files. Each command must refuse or skip the planted name with a message that names it, never block on it, and
// never write through it: the planted thing and whatever a link points at are left exactly as they were.
#include "cli/InvexaTool.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace invexa;
using invexa::test::TTempDir;
namespace fs = std::filesystem;

namespace {

enum class TPlant { LinkOut, DanglingLink, Fifo, Folder };

struct TPlantedCase {
    const char *Name;              // the file planted, relative to the working folder
    TPlant Plant;                  // what is put there
    std::vector<std::string> Args; // the command, after "-C folder"
    int Status;                    // expected exit status
    const char *Message;           // a part of stderr (empty: stderr is not checked)
};

// One row for each way a file is opened or refused: a link and a dangling link meet the same open, and so do a FIFO
// and a folder wherever one check of the file's kind refuses both.
const std::vector<TPlantedCase> Cases = {
    // INVEXA.INI is read through a link but never written through one; the saves' lock file beside it neither.
    {"INVEXA.INI", TPlant::LinkOut, {"settings"}, 0, ""},
    {"INVEXA.INI", TPlant::LinkOut, {"ignore", "add", "Acme"}, 1, "INVEXA.INI: it is a symbolic link"},
    {"INVEXA.INI", TPlant::Fifo, {"ignore", "add", "Acme"}, 1, "INVEXA.INI: it is not a regular file"},
    {".INVEXA.INI.lock", TPlant::DanglingLink, {"distribution", "X"}, 1, "INVEXA.INI.lock is a symbolic link"},
    {".INVEXA.INI.lock", TPlant::Fifo, {"ignore", "add", "Acme"}, 1, "INVEXA.INI.lock is not a regular file"},
    // Scan files: a link is never followed, a FIFO never waited on, and both are named; a folder is no scan file.
    {"ivx/link.ivx", TPlant::LinkOut, {"merge"}, 1, "ivx/link.ivx: it is a symbolic link"},
    {"ivx/x.ivx", TPlant::Fifo, {"merge"}, 1, "ivx/x.ivx: it is not a regular file"},
    {"ivx/y.ivx", TPlant::Folder, {"merge"}, 0, ""},
    // The export and the results table (made, and opened by every other command): refused before anything is
    // opened or written.
    {"datadump.csv", TPlant::LinkOut, {"export"}, 1, "datadump.csv: it is a symbolic link"},
    {"datadump.csv", TPlant::Fifo, {"export"}, 1, "datadump.csv: it is a FIFO, not a regular file"},
    {"Results.sqlite", TPlant::LinkOut, {"init"}, 1, "Results.sqlite: it is a symbolic link"},
    {"Results.sqlite", TPlant::Fifo, {"empty"}, 1, "Results.sqlite: it is a FIFO, not a regular file"},
    {"Results.sqlite-journal", TPlant::Fifo, {"delete-app", "M", "A"}, 1, "-journal: it is a FIFO"},
};

std::string Plant(const TTempDir &root, const std::string &dir, const TPlantedCase &c) {
    const std::string path = dir + "/" + c.Name, outside = root.File("outside");
    fs::remove(path); // the plant takes the place of what init made there
    switch (c.Plant) {
    case TPlant::LinkOut:
        std::ofstream(outside, std::ios::binary) << "not yours\r\n";
        fs::create_symlink(outside, path);
        break;
    case TPlant::DanglingLink:
        fs::create_symlink(outside, path);
        break;
    case TPlant::Fifo:
        EXPECT_EQ(mkfifo(path.c_str(), 0666), 0);
        break;
    case TPlant::Folder:
        fs::create_directory(path);
        break;
    }
    return outside;
}

TEST(PlantedFiles, AreRefusedNamedAndLeftAsTheyWere) {
    for (const TPlantedCase &c : Cases) {
        SCOPED_TRACE(c.Name);
        TTempDir root;
        const std::string dir = root.File("work");
        fs::create_directories(dir + "/ivx");
        std::vector<std::string> args = {"-C", dir};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        if (c.Args.empty() || c.Args[0] != "init") {
            std::ostringstream out, err;
            ASSERT_EQ(RunInvexa({"-C", dir, "init"}, out, err), 0) << err.str();
        }
        const std::string outside = Plant(root, dir, c);
        const fs::file_status before = fs::symlink_status(dir + "/" + c.Name);
        const bool outsideExisted = fs::exists(outside);
        std::ostringstream out, err;
        EXPECT_EQ(RunInvexa(args, out, err), c.Status) << err.str();
        if (*c.Message) {
            EXPECT_NE(err.str().find(c.Message), std::string::npos) << err.str();
        }
        EXPECT_EQ(fs::symlink_status(dir + "/" + c.Name).type(), before.type());
        EXPECT_EQ(fs::exists(outside), outsideExisted);
        if (outsideExisted) {
            EXPECT_EQ(root.Read("outside"), "not yours\r\n");
        }
    }
}

} // namespace
