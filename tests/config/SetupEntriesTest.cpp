#include "config/SetupEntries.h"
#include "config/ScanSetup.h"
#include "data/InvexaError.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <string>

using namespace invexa;
using invexa::test::TTempDir;

namespace {

using TList = std::vector<std::string>;

std::string RefusalText(void (*action)()) {
    try {
        action();
    } catch (const ERefusal &refusal) {
        return refusal.what();
    }
    return "(not refused)";
}

TEST(SetupEntries, CompareTextIgnoresLetterCase) {
    EXPECT_EQ(CompareText("Adobe", "aDOBE"), 0);
    EXPECT_EQ(CompareText("\xC9t\xE9", "\xE9T\xC9"), 0); // accented capitals fold too
    EXPECT_LT(CompareText("abc", "ABCD"), 0);
    EXPECT_GT(CompareText("b", "A"), 0);
    EXPECT_LT(CompareText("Z", "\xE9"), 0); // high bytes sort after ASCII letters
    EXPECT_LT(CompareText("maker\\", "Maker\\App"), 0);
}

TEST(SetupEntries, InsertSortedPlacesAfterEqualEntries) {
    TList list;
    for (const char *entry : {"beta", "Alpha", "gamma", "ALPHA", "alpha", "Beta"})
        InsertSorted(list, entry);
    EXPECT_EQ(list, (TList{"Alpha", "ALPHA", "alpha", "beta", "Beta", "gamma"}));
    EXPECT_EQ(SortedInsertIndex(list, "ALPHA"), 3u);
    EXPECT_EQ(SortedInsertIndex(list, ""), 0u);
}

TEST(SetupEntries, EntriesAreBuiltOrRefusedAsThePageDoes) {
    EXPECT_EQ(MakeIgnoreEntry("Maker", ""), "Maker");
    EXPECT_EQ(MakeIgnoreEntry("  ", " App "), "  \\ App ");
    EXPECT_EQ(MakeGridIgnoreEntry("Maker", ""), "Maker\\");
    EXPECT_EQ(MakeGridIgnoreEntry("", "App"), "\\App");
    EXPECT_EQ(MakeExeEntry("App", "app.exe"), "App=app.exe");
    EXPECT_EQ(RefusalText([] { MakeIgnoreEntry("", "App"); }), "You must enter an Application Maker");
    EXPECT_EQ(RefusalText([] { MakeExeEntry("", ""); }), "You must enter an Application name");
    EXPECT_EQ(RefusalText([] { MakeExeEntry("App", ""); }), "You must enter an EXE file name");
}

TEST(ScanSetup, EditsSetOnlyTheirGroupsFlag) {
    TTempDir dir;
    dir.Write("INVEXA.INI", "[Ignore Apps]\r\nMaker=\r\n[EXE Names]\r\nZed=z.exe\r\n");
    TScanSetup setup(dir.Path());
    EXPECT_FALSE(setup.Flags.Any());

    EXPECT_THROW(setup.AddIgnore("", "App"), ERefusal);
    EXPECT_THROW(setup.RemoveIgnore("maker"), EInvexaError);
    EXPECT_THROW(setup.AddExe("App", ""), ERefusal);
    EXPECT_THROW(setup.SetSwitch("Stealth", false), EInvexaError);
    EXPECT_FALSE(setup.Flags.Any());

    setup.AddIgnoreFromGrid("abc", "");
    EXPECT_EQ(setup.Settings.IgnoreList, (TList{"abc\\", "Maker"}));
    EXPECT_TRUE(setup.Flags.IgnoreListChanged);
    EXPECT_FALSE(setup.Flags.SwitchesChanged || setup.Flags.ExeNamesChanged);

    setup.SetSwitch("stealthmode", true); // unchanged value: still an edit of the group
    EXPECT_TRUE(setup.Flags.SwitchesChanged);
    EXPECT_FALSE(setup.Flags.ExeNamesChanged);

    setup.AddExe("App", "app.exe");
    setup.RemoveExe("Zed=z.exe");
    EXPECT_EQ(setup.Settings.ExeNames, (TList{"App=app.exe"}));
    EXPECT_TRUE(setup.Flags.ExeNamesChanged);
}

TEST(ScanSetup, SavedEditsComeBackOnTheNextLoad) {
    TTempDir dir;
    {
        TScanSetup setup(dir.Path());
        setup.AddIgnore("Maker", "App");
        setup.AddIgnore("Maker", "App");
        setup.AddIgnore("Adobe", "");
        setup.SetSwitch("UseIgnoreList", false);
        setup.SetDistribution("North");
        setup.AddExe("Word", "winword.exe");
        setup.Save();
    }
    TScanSetup again(dir.Path());
    EXPECT_EQ(again.Settings.IgnoreList, (TList{"Adobe", "Maker\\App"}));
    EXPECT_FALSE(again.Settings.UseIgnoreList);
    EXPECT_TRUE(again.Settings.SearchForExe);
    EXPECT_EQ(again.Settings.Distribution, "North");
    EXPECT_EQ(again.Settings.ExeNames, (TList{"Word=winword.exe"}));
    EXPECT_FALSE(again.Flags.Any());
}

} // namespace
