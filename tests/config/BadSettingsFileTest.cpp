// INVEXA.INI as other programs and editors leave it. Each loads without harm, and a save of one group changes
// nothing else: the file's other bytes come through as they were.
#include "config/ScanSetup.h"
#include "config/SetupEntries.h"
#include "data/InvexaError.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <random>

using namespace invexa;
using namespace invexa::test;
using namespace std::string_literals;

namespace {

// The section a save of a new EXE-names entry adds at the end of a file that has none.
const std::string AddedSection = "[EXE Names]\r\nHardening=check.exe\r\n";

std::string Garbage(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char &c : bytes)
        c = static_cast<char>(random() & 0xFF);
    bytes[0] = 'g'; // not a UTF-16 mark, which is a case of its own
    return bytes;
}

std::string Large() {
    // 16 MB: an ignore list of some 400,000 entries in reverse order, and a foreign section of long values.
    std::string bytes = "[Switches]\r\nStealthMode=0\r\nDistribution=Large\r\n[Ignore Apps]\r\n";
    for (int i = 400000; i > 0; --i)
        bytes += "Maker " + std::to_string(i) + "\\Application=\r\n";
    bytes += "[Scanner notes]\r\n";
    for (int i = 0; bytes.size() < (16u << 20); ++i)
        bytes += "note" + std::to_string(i) + "=" + std::string(1000, 'v') + "\r\n";
    return bytes;
}

TEST(BadSettingsFile, EachLoadsAndASaveKeepsEveryOtherByte) {
    struct Case {
        const char *what;
        std::string bytes;
        bool stealth; // StealthMode as the file says
        std::size_t ignored; // entries of the ignore list
    };
    const std::vector<Case> cases = {
        {"binary garbage", Garbage(65536, 7), true, 0},
        {"NUL bytes", "[Switches]\r\nStealth\0Mode=0\r\nStealthMode=0\0\r\n[Ignore Apps]\r\nA\0B=\r\nC=\r\n"s, true, 2},
        {"no final line end", "[Switches]\r\nStealthMode=0\r\n[Ignore Apps]\r\nAcme=", false, 1},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF[Switches]\r\nStealthMode=0\r\n[Ignore Apps]\r\nAcme=\r\n", true, 1},
        {"16 MB", Large(), false, 400000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TTempDir dir;
        dir.Write("INVEXA.INI", c.bytes);
        TScanSetup setup(dir.Path());
        EXPECT_EQ(setup.Settings.StealthMode, c.stealth);
        EXPECT_EQ(setup.Settings.IgnoreList.size(), c.ignored);
        EXPECT_TRUE(std::is_sorted(setup.Settings.IgnoreList.begin(), setup.Settings.IgnoreList.end(),
                                   [](const std::string &a, const std::string &b) { return CompareText(a, b) < 0; }));
        setup.AddExe("Hardening", "check.exe");
        setup.Save();
        bool ended = !c.bytes.empty() && (c.bytes.back() == '\n' || c.bytes.back() == '\r');
        const std::string after = dir.Read("INVEXA.INI");
        EXPECT_TRUE(after == c.bytes + (ended ? "" : "\r\n") + AddedSection)
            << "size " << c.bytes.size() << " became " << after.size();
        TScanSetup again(dir.Path());
        EXPECT_EQ(again.Settings.ExeNames, std::vector<std::string>{"Hardening=check.exe"});
        EXPECT_EQ(again.Settings.IgnoreList, setup.Settings.IgnoreList);
    }
}

TEST(BadSettingsFile, Utf16IsRefusedOnLoadAndNeverOverwritten) {
    // Notepad's "Unicode": read as 8-bit text it would look empty, and saving over it would destroy it.
    TTempDir dir;
    const std::string utf16 = "\xFF\xFE[\0S\0w\0i\0t\0c\0h\0e\0s\0]\0\r\0\n\0"s;
    dir.Write("INVEXA.INI", utf16);
    try {
        TScanSetup setup(dir.Path());
        FAIL() << "a UTF-16 settings file was loaded";
    } catch (const EInvexaError &e) {
        EXPECT_EQ(std::string(e.what()), dir.File("INVEXA.INI") + ": UTF-16 settings files are not supported");
    }
    TScanSettings settings;
    TChangeFlags flags{false, true, false};
    try {
        SaveSettings(dir.Path(), settings, flags);
        FAIL() << "saved over a UTF-16 settings file";
    } catch (const EInvexaError &e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + dir.File("INVEXA.INI"));
    }
    EXPECT_EQ(dir.Read("INVEXA.INI"), utf16);
}

} // namespace
