#include "config/ScanSettings.h"
#include "data/InvexaError.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

using invexa::EInvexaError;
using invexa::LoadSettings;
using invexa::SaveSettings;
using invexa::SettingsPath;
using invexa::TChangeFlags;
using invexa::TScanSettings;
using invexa::test::TTempDir;

namespace {

using TList = std::vector<std::string>;

TEST(ScanSettingsLoad, MissingFileGivesDefaultsAndAnUneditedSaveCreatesNothing) {
    TTempDir dir;
    EXPECT_EQ(SettingsPath(dir.Path()), dir.Path() + "/INVEXA.INI");
    TScanSettings settings = LoadSettings(dir.Path());
    EXPECT_EQ(settings, TScanSettings());
    SaveSettings(dir.Path(), settings, TChangeFlags());
    EXPECT_FALSE(dir.Exists("INVEXA.INI"));
}

TEST(ScanSettingsLoad, SwitchValuesReadAsWholeNumbers) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"0", false},
        {"0x0", false},
        {"0X00", false},
        {"$0", false},
        {"-0", false},
        {"\"  +0\"", false},
        {"1", true},
        {"2", true},
        {"-1", true},
        {"$A", true},
        {"0xFFFFFFFFFFFF", true},
        {"word", true},
        {"", true},
        {"0x", true},
        {"$", true},
        {"0 1", true},
        {"\"0 \"", true},
        {"x0", true},
        {"0.0", true},
        {"08", true},
        {"00", false},
        {"$G", true},
        {"99999999999", true},
    };
    for (const auto &[value, on] : cases) {
        TTempDir dir;
        dir.Write("INVEXA.INI", "[Switches]\r\nUseIgnoreList=" + value + "\r\nSearchForExe=" + value +
                                    "\r\nStealthMode=" + value + "\r\n");
        TScanSettings settings = LoadSettings(dir.Path());
        EXPECT_EQ(settings.UseIgnoreList, on) << value;
        EXPECT_EQ(settings.SearchForExe, on) << value;
        EXPECT_EQ(settings.StealthMode, on) << value;
    }
}

TEST(ScanSettingsLoad, ReadsListsAndDistribution) {
    TTempDir dir;
    dir.Write("INVEXA.INI", "[Ignore Apps]\r\nzeta\\z=\r\nAlpha=\r\nalpha=\r\nmid=junk\r\n"
                            "[Switches]\r\nDistribution= \"  Site 7 \" \r\n"
                            "[exe NAMES]\r\nWord=winword.exe\r\nexcel=excel.exe\r\nEmpty=\r\nword=ignored.exe\r\n"
                            "Gone=\r\nEXCEL=\r\n");
    TScanSettings settings = LoadSettings(dir.Path());
    EXPECT_EQ(settings.IgnoreList, (TList{"Alpha", "alpha", "mid", "zeta\\z"}));
    EXPECT_EQ(settings.Distribution, "  Site 7 ");
    // A repeated name reads the value of its first line and replaces the entry in place under its own spelling;
    // names whose first line is empty never make an entry.
    EXPECT_EQ(settings.ExeNames, (TList{"EXCEL=excel.exe", "word=winword.exe"}));
}

TEST(ScanSettingsSave, RewritesOnlyTheFlaggedGroups) {
    TTempDir dir;
    dir.Write("INVEXA.INI", "; kept\r\n[Switches]\r\nUseIgnoreList=2\r\nExtra=1\r\n[Other]\r\no=1\r\n"
                            "[Ignore Apps]\r\nold=\r\n");
    TScanSettings settings = LoadSettings(dir.Path());
    // Someone else changes the file after the load; the save must build on the file as it is now.
    dir.Write("INVEXA.INI", "; kept\r\n[Switches]\r\nUseIgnoreList=2\r\nExtra=1\r\n[Other]\r\no=changed\n"
                            "[Ignore Apps]\r\nold=\r\nnewer=\r\n");
    settings.StealthMode = false;
    settings.Distribution = "D";
    TChangeFlags flags;
    flags.SwitchesChanged = true;
    SaveSettings(dir.Path(), settings, flags);
    EXPECT_EQ(dir.Read("INVEXA.INI"), "; kept\r\n[Other]\r\no=changed\n[Ignore Apps]\r\nold=\r\nnewer=\r\n"
                                      "[Switches]\r\nUseIgnoreList=1\r\nSearchForExe=1\r\nStealthMode=0\r\n"
                                      "Distribution=D\r\n");

    const std::string before = dir.Read("INVEXA.INI");
    dir.Write("INVEXA.INI", before + "[Late]\r\nx=1\r\n");
    SaveSettings(dir.Path(), settings, TChangeFlags());
    EXPECT_EQ(dir.Read("INVEXA.INI"), before + "[Late]\r\nx=1\r\n");
}

TEST(ScanSettingsSave, ListsRoundTripAsTheScannersSeeThem) {
    TTempDir dir;
    dir.Write("INVEXA.INI", "[EXE names]\r\nOld=old.exe\r\n");
    TScanSettings settings;
    settings.IgnoreList = {"a=b", "Maker", "maker", "Maker\\App"};
    settings.ExeNames = {"App=first.exe", "app=second.exe", "x=y=z.exe"};
    TChangeFlags flags;
    flags.IgnoreListChanged = true;
    flags.ExeNamesChanged = true;
    SaveSettings(dir.Path(), settings, flags);
    EXPECT_EQ(dir.Read("INVEXA.INI"), "[Ignore Apps]\r\na=b=\r\nMaker=\r\nMaker\\App=\r\n"
                                      "[EXE Names]\r\nApp=second.exe\r\nx=y=z.exe\r\n");
    TScanSettings loaded = LoadSettings(dir.Path());
    EXPECT_EQ(loaded.IgnoreList, (TList{"a", "Maker", "Maker\\App"}));
    EXPECT_EQ(loaded.ExeNames, (TList{"App=second.exe", "x=y=z.exe"}));

    // Emptied lists take their sections with them.
    SaveSettings(dir.Path(), TScanSettings(), flags);
    EXPECT_EQ(dir.Read("INVEXA.INI"), "");
}

TEST(ScanSettingsSave, FailureNamesThePathAndLeavesTheFileWhole) {
    TTempDir dir;
    const std::string old = "[Switches]\r\nStealthMode=1\r\n[Ignore Apps]\r\nx=\r\n";
    dir.Write("INVEXA.INI", old);
    chmod(dir.File("INVEXA.INI").c_str(), 0444);
    TScanSettings settings;
    settings.StealthMode = false;
    TChangeFlags flags{true, true, true};
    try {
        SaveSettings(dir.Path(), settings, flags);
        FAIL() << "saved over a read-only settings file";
    } catch (const EInvexaError &error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + dir.File("INVEXA.INI"));
    }
    EXPECT_EQ(dir.Read("INVEXA.INI"), old);

    TTempDir gone;
    const std::string missingFolder = gone.File("no/such/folder");
    EXPECT_THROW(SaveSettings(missingFolder, settings, flags), EInvexaError);
}

} // namespace
