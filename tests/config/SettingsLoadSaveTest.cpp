// The scanners' settings: how INVEXA.INI loads, how a save rewrites only the changed groups, the setup page's
// entry rules, and files as other programs and editors leave them.
#include "base/Cp1252.h"
#include "base/InvexaError.h"
#include "config/EntryRules.h"
#include "config/ProfileFile.h"
#include "config/SettingsEditor.h"
#include "support/TempDir.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

using namespace invexa;
using namespace invexa::test;
using namespace std::string_literals;

namespace {

using TList = std::vector<std::string>;

std::string FlagText(const TChangeFlags &f) {
    return std::to_string(f.IgnoreListChanged) + std::to_string(f.SwitchesChanged) + std::to_string(f.ExeNamesChanged);
}

TEST(SettingsLoad, SwitchesReadAsWholeNumbersAndDefaultToOn) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"0", false},   {"0x0", false}, {"0X00", false}, {"$0", false}, {"-0", false},         {"\"  +0\"", false},
        {"00", false},  {"1", true},    {"2", true},     {"-1", true},  {"$A", true},          {"0xFFFFFFFFFFFF", true},
        {"word", true}, {"", true},     {"0x", true},    {"$", true},   {"0 1", true},         {"\"0 \"", true},
        {"x0", true},   {"0.0", true},  {"08", true},    {"$G", true},  {"99999999999", true},
    };
    TTempDir dir;
    for (const auto &[value, on] : cases) {
        dir.Write("INVEXA.INI",
                  "[Switches]\r\nUseIgnoreList=" + value + "\r\nSearchForExe=" + value + "\r\nStealthMode=" + value);
        TScanSettings settings = LoadSettings(dir.Path());
        EXPECT_EQ(FlagText({settings.UseIgnoreList, settings.SearchForExe, settings.StealthMode}), on ? "111" : "000")
            << value;
    }
    TTempDir empty;
    EXPECT_EQ(LoadSettings(empty.Path()), TScanSettings()) << "a missing file: lists empty, switches on";
    SaveSettings(empty.Path(), TScanSettings(), TChangeFlags());
    EXPECT_FALSE(empty.Exists("INVEXA.INI")) << "a save with nothing changed writes nothing";
    SaveSettings(empty.Path(), TScanSettings(), {false, true, false});
    EXPECT_EQ(empty.Read("INVEXA.INI"),
              "[Switches]\r\nUseIgnoreList=1\r\nSearchForExe=1\r\nStealthMode=1\r\nDistribution=\r\n");
}

TEST(SettingsLoadSave, LoadsSortedListsAndSavesOnlyTheFlaggedGroupsOfTheFileAsItIsNow) {
    TTempDir dir;
    // The ignore list is every key line of the first such section: comments, blank lines, lines without "=" and
    // empty names are skipped, duplicates kept.
    dir.Write("INVEXA.INI",
              "; kept\r\n[Ignore Apps]\r\nzeta\\z=\r\n;c=\r\n\r\nno key\r\n Alpha =\r\nalpha=\r\n=5\r\n"
              "mid=junk\r\n[Switches]\r\nUseIgnoreList=2\r\nDistribution= \"  Site 7 \" \r\n[exe NAMES]\r\n"
              "Word=winword.exe\r\nexcel=excel.exe\r\nEmpty=\r\nword=ignored.exe\r\nGone=\r\nEXCEL=\r\n"
              "[ignore apps]\r\nlate=\r\n");
    TScanSettings settings = LoadSettings(dir.Path());
    EXPECT_EQ(settings.IgnoreList, (TList{"Alpha", "alpha", "mid", "zeta\\z"}));
    EXPECT_EQ(settings.Distribution, "  Site 7 ");
    // A repeated name reads the value of its first line and replaces the entry in place under its own spelling;
    // names whose first line is empty never make an entry.
    EXPECT_EQ(settings.ExeNames, (TList{"EXCEL=excel.exe", "word=winword.exe"}));
    // Someone else changes the file after the load; the save must build on the file as it is now.
    dir.Write("INVEXA.INI", "; kept\r\n[Switches]\r\nUseIgnoreList=2\r\nExtra=1\r\n[Other]\r\no=changed\n"
                            "[Ignore Apps]\r\nold=\r\n[EXE names]\r\nOld=old.exe\r\n");
    settings.StealthMode = false;
    settings.Distribution = "D";
    SaveSettings(dir.Path(), settings, {false, true, false});
    EXPECT_EQ(dir.Read("INVEXA.INI"), "; kept\r\n[Other]\r\no=changed\n[Ignore Apps]\r\nold=\r\n"
                                      "[EXE names]\r\nOld=old.exe\r\n[Switches]\r\nUseIgnoreList=1\r\n"
                                      "SearchForExe=1\r\nStealthMode=0\r\nDistribution=D\r\n");

    settings.IgnoreList = {"Maker", "maker", "Maker\\App"};
    settings.ExeNames = {"App=first.exe", "app=second.exe", "x=y=z.exe"};
    SaveSettings(dir.Path(), settings, {true, false, true});
    const std::string other = "; kept\r\n[Other]\r\no=changed\n";
    const std::string switches =
        "[Switches]\r\nUseIgnoreList=1\r\nSearchForExe=1\r\nStealthMode=0\r\nDistribution=D\r\n";
    EXPECT_EQ(dir.Read("INVEXA.INI"), other + switches +
                                          "[Ignore Apps]\r\nMaker=\r\nMaker\\App=\r\n"
                                          "[EXE Names]\r\nApp=second.exe\r\nx=y=z.exe\r\n");
    TScanSettings loaded = LoadSettings(dir.Path());
    EXPECT_EQ(loaded.IgnoreList, (TList{"Maker", "Maker\\App"})) << "as the scanners will see the entries";
    EXPECT_EQ(loaded.ExeNames, (TList{"App=second.exe", "x=y=z.exe"}));

    SaveSettings(dir.Path(), TScanSettings(), {true, false, true});
    EXPECT_EQ(dir.Read("INVEXA.INI"), other + switches) << "emptied lists take their sections with them";
}

TEST(SettingsEditor, EntriesAreBuiltSortedOrRefusedAsThePageDoes) {
    // Letter case ignored (accented letters too), a shorter text first, high bytes after ASCII letters, a new entry
    // after those equal to it.
    TList list;
    for (const char *entry : {"beta", "Alpha", "gamma", "ALPHA", "\xE9t\xE9", "alpha", "Beta", "Z", "maker\\App",
                              "\xC9T\xC9", "abcd", "maker\\", "ABC"})
        InsertSorted(list, entry);
    EXPECT_EQ(list, (TList{"ABC", "abcd", "Alpha", "ALPHA", "alpha", "beta", "Beta", "gamma", "maker\\", "maker\\App",
                           "Z", "\xE9t\xE9", "\xC9T\xC9"}));

    // A refused edit leaves the lists and the flags as they were (the messages are checked through the tool).
    TTempDir dir;
    dir.Write("INVEXA.INI", "[Ignore Apps]\r\nMaker=\r\n");
    TSettingsEditor setup(dir.Path());
    EXPECT_THROW(setup.AddIgnore("", "App"), ERefusal);
    EXPECT_THROW(setup.AddExe("App", ""), ERefusal);
    EXPECT_THROW(setup.RemoveIgnore("maker"), EInvexaError);
    EXPECT_THROW(setup.SetSwitch("Stealth", false), EInvexaError);
    EXPECT_EQ(FlagText(setup.Flags), "000");
    EXPECT_EQ(setup.Settings, LoadSettings(dir.Path()));
}

// Each text going into the settings file either reads back as the reading rules give it (blanks trimmed, one pair
// of outer quotes taken off a value, values cut at 2,047 characters), with every other entry and section as it
// was, or is refused and leaves the file's bytes as they were.
TEST(SettingsTexts, EachIsOneEntryOfItsOwnSectionOrRefused) {
    enum EWay { Page, Grid, Exe, Distribution };
    struct Case {
        EWay Way;
        std::string A, B;
        std::string Expected; // as read back, or the refusal
    };
    const std::string noMaker = "You must enter an Application Maker", noApp = "You must enter an Application name",
                      entryBreak = "The ignore-list entry cannot hold a line break or a NUL character",
                      entryStart = "The ignore-list entry cannot start with \"[\" or \";\"",
                      distBreak = "The distribution text cannot hold a line break or a NUL character";
    const std::vector<Case> cases = {
        {Page, " Acme ", "", "Acme"},
        {Page, "\"Acme\"", " Tool ", "\"Acme\"\\ Tool"},
        {Page, "  ", "App", noMaker},
        {Page, "Good\r\n[Switches]\r\nStealthMode=0\r\n;", "", entryBreak},
        {Page, "A"s + '\0' + "B", "", entryBreak},
        {Page, " [Switches]", "", entryStart},
        {Page, ";Acme", "", entryStart},
        {Page, "Acme", "a=b", "The ignore-list entry cannot hold \"=\""},
        {Grid, "", "", "\\"},
        {Grid, "Acme ", " [Tool]; x", "Acme \\ [Tool]; x"},
        {Grid, "[Acme", "Tool", entryStart},
        {Grid, "=", "", "The ignore-list entry cannot hold \"=\""},
        {Exe, "App", " 'x y.exe' ", "App=x y.exe"},
        {Exe, "App", "a=b;c", "App=a=b;c"},
        {Exe, " ", "x.exe", noApp},
        {Exe, ";App", "x.exe", "The application name cannot start with \"[\" or \";\""},
        {Exe, "A=pp", "x.exe", "The application name cannot hold \"=\""},
        {Exe, "App",
         "x.exe\r\n[Ignore Apps]\r\nEvil=", "The EXE file name cannot hold a line break or a NUL character"},
        {Distribution, " \"Head Office\" ", "", "Head Office"},
        {Distribution, "[Site] ;x=1", "", "[Site] ;x=1"},
        {Distribution, std::string(3000, 'd'), "", std::string(2047, 'd')},
        {Distribution, "Site\n[Ignore Apps]\nEvil=", "", distBreak},
    };
    TTempDir dir;
    const std::string file = "; note\r\n[Ignore Apps]\r\nBase=\r\n[Other]\r\nx=1\r\n[Switches]\r\nUseIgnoreList=0\r\n"
                             "Distribution=Site\r\n[EXE Names]\r\nBase=base.exe\r\n";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.A + "|" + c.B);
        dir.Write("INVEXA.INI", file);
        TScanSettings expected = LoadSettings(dir.Path());
        if (c.Way == Distribution)
            expected.Distribution = c.Expected;
        else
            InsertSorted(c.Way == Exe ? expected.ExeNames : expected.IgnoreList, c.Expected);
        std::string refusal;
        try {
            TSettingsEditor setup(dir.Path());
            if (c.Way == Page)
                setup.AddIgnore(c.A, c.B);
            else if (c.Way == Grid) { // as the results grid adds it
                InsertSorted(setup.Settings.IgnoreList, MakeGridIgnoreEntry(c.A, c.B));
                setup.Flags.IgnoreListChanged = true;
            } else if (c.Way == Exe)
                setup.AddExe(c.A, c.B);
            else { // as the window takes it, keystroke by keystroke: checked at the save
                setup.Settings.Distribution = c.A;
                setup.Flags.SwitchesChanged = true;
            }
            setup.Save();
        } catch (const ERefusal &e) {
            refusal = e.what();
        }
        if (!refusal.empty()) {
            EXPECT_EQ(refusal, c.Expected);
            EXPECT_EQ(dir.Read("INVEXA.INI"), file);
        } else {
            EXPECT_EQ(LoadSettings(dir.Path()), expected);
            EXPECT_EQ(dir.Read("INVEXA.INI").find("; note\r\n"), 0u);
            EXPECT_NE(dir.Read("INVEXA.INI").find("[Other]\r\nx=1\r\n"), std::string::npos);
        }
    }
}

// Garbage, NUL bytes, a missing last line end and a UTF-8 mark are rows of the settings fuzz corpus, whose model
// holds every untouched byte of a save; here a file of 16 MB, and UTF-16, which is refused whole.
TEST(BadSettingsFile, A16MbFileLoadsAndASaveKeepsEveryOtherByteAndUtf16IsRefusedWhole) {
    // An ignore list of some 400,000 entries in reverse order, and a foreign section of long values.
    std::string large = "[Switches]\r\nStealthMode=0\r\nDistribution=Large\r\n[Ignore Apps]\r\n";
    for (int i = 400000; i > 0; --i)
        large += "Maker " + std::to_string(i) + "\\Application=\r\n";
    for (large += "[Scanner notes]\r\n"; large.size() < (16u << 20);)
        large += "note" + std::to_string(large.size()) + "=" + std::string(1000, 'v') + "\r\n";
    TTempDir dir;
    dir.Write("INVEXA.INI", large);
    TSettingsEditor setup(dir.Path());
    EXPECT_FALSE(setup.Settings.StealthMode);
    EXPECT_EQ(setup.Settings.IgnoreList.size(), 400000u);
    EXPECT_TRUE(std::is_sorted(setup.Settings.IgnoreList.begin(), setup.Settings.IgnoreList.end(),
                               [](const std::string &a, const std::string &b) { return CompareFolded(a, b) < 0; }));
    setup.AddExe("Hardening", "check.exe");
    setup.Save();
    EXPECT_TRUE(dir.Read("INVEXA.INI") == large + "[EXE Names]\r\nHardening=check.exe\r\n");
    // Notepad's "Unicode": read as 8-bit text it would look empty, and saving over it would destroy it.
    for (const std::string &utf16 : {"\xFF\xFE[\0S\0w\0i\0t\0c\0h\0e\0s\0]\0\r\0\n\0"s, "\xFE\xFF\0[\0S\0]\0\r\0\n"s}) {
        dir.Write("INVEXA.INI", utf16);
        const std::string path = dir.File("INVEXA.INI");
        EXPECT_EQ(ErrorOf([&] { TSettingsEditor refused(dir.Path()); }),
                  path + ": UTF-16 settings files are not supported");
        EXPECT_EQ(ErrorOf([&] { SaveSettings(dir.Path(), {}, {false, true, false}); }), "Unable to write to " + path);
        EXPECT_EQ(dir.Read("INVEXA.INI"), utf16);
    }
}

} // namespace
