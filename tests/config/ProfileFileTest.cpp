#include "config/ProfileFile.h"
#include "data/InvexaError.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>

using invexa::EInvexaError;
using invexa::TProfileFile;
using invexa::test::TTempDir;
using namespace std::string_literals;

namespace {

struct TReadCase {
    const char *What;
    std::string Bytes;
    const char *Section;
    const char *Key;
    std::optional<std::string> Expected;
};

TEST(ProfileFileRead, FollowsTheProfileCallsLineRules) {
    const std::vector<TReadCase> cases = {
        {"CR alone ends a line", "[S]\rk=v\rj=w", "S", "j", "w"},
        {"LF alone ends a line", "[S]\nk=v\n", "S", "k", "v"},
        {"blanks around the header and text after ]", " \t[  S  ] tail\r\nk=v\r\n", "S", "k", "v"},
        {"[[sec] names [sec", "[[sec]\r\nk=v\r\n", "[sec", "k", "v"},
        {"header without ]", "[S x \r\nk=v\r\n", "S x", "k", "v"},
        {"comment is no key", "[S]\r\n ;k=v\r\n", "S", ";k", std::nullopt},
        {"# is ordinary", "[S]\r\n#k=v\r\n", "S", "#k", "v"},
        {"name and value trimmed of space, tab, VT", "[S]\r\n \tk \v= \tv w\v \r\n", "S", "k", "v w"},
        {"names ignore ASCII case", "[sEcTiOn]\r\nKeY=v\r\n", "SECTION", "key", "v"},
        {"names ignore accented case", "[\xC9t\xC9]\r\n\xC0=v\r\n", "\xE9t\xE9", "\xE0", "v"},
        {"only the first of a repeated section", "[S]\r\na=1\r\n[T]\r\n[s]\r\nb=2\r\n", "S", "b", std::nullopt},
        {"first matching key wins", "[S]\r\nk=1\r\nK=2\r\n", "S", "k", "1"},
        {"outer double quotes removed, blanks kept", "[S]\r\nk= \" a \" \r\n", "S", "k", " a "},
        {"outer single quotes removed", "[S]\r\nk='x'\r\n", "S", "k", "x"},
        {"unmatched quotes stay", "[S]\r\nk=\"x'\r\n", "S", "k", "\"x'"},
        {"one quote alone stays", "[S]\r\nk=\"\r\n", "S", "k", "\""},
        {"no inline comments", "[S]\r\nk=a ;b\r\n", "S", "k", "a ;b"},
        {"key= is the empty text", "[S]\r\nk=\r\n", "S", "k", ""},
        {"value split at the first =", "[S]\r\nk=a=b\r\n", "S", "k", "a=b"},
        {"lines before the first header are unreadable", "k=v\r\n[S]\r\n", "", "k", std::nullopt},
        {"a line without = is no key", "[S]\r\nk\r\n", "S", "k", std::nullopt},
        {"UTF-8 mark hides a header on line 1", "\xEF\xBB\xBF[S]\r\nk=v\r\n", "S", "k", std::nullopt},
        {"NUL bytes pass through", "[S]\r\nk=a\0b\r\n"s, "S", "k", "a\0b"s},
        {"missing section", "[S]\r\nk=v\r\n", "T", "k", std::nullopt},
        {"header ends the section", "[S]\r\n[T]\r\nk=v\r\n", "S", "k", std::nullopt},
    };
    for (const TReadCase &c : cases)
        EXPECT_EQ(TProfileFile::Parse(c.Bytes).ReadString(c.Section, c.Key), c.Expected) << c.What;
}

TEST(ProfileFileRead, CutsValuesAt2047Characters) {
    std::string value(3000, 'x');
    value[2046] = 'y';
    std::optional<std::string> read = TProfileFile::Parse("[S]\r\nk=" + value + "\r\n").ReadString("S", "k");
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, value.substr(0, 2047));
}

TEST(ProfileFileRead, ListsEveryKeyLineOfTheFirstSectionInOrder) {
    TProfileFile profile = TProfileFile::Parse("x=0\r\n[S]\r\n b =1\r\n;c=2\r\n\r\nno key\r\nB=3\r\nb=4\r\nk=\r\n=5\r\n"
                                               "[T]\r\nt=1\r\n[s]\r\nlate=1\r\n");
    EXPECT_EQ(profile.ReadKeyNames("s"), (std::vector<std::string>{"b", "B", "b", "k"}));
    EXPECT_TRUE(profile.ReadKeyNames("missing").empty());

    // Far more names than the scanners' 16 KB buffer holds: all of them come back, so a save keeps them all.
    std::string many = "[Big]\r\n";
    for (int i = 0; i < 3000; ++i)
        many += "application-name-" + std::to_string(i) + "=\r\n";
    std::vector<std::string> names = TProfileFile::Parse(many).ReadKeyNames("Big");
    ASSERT_EQ(names.size(), 3000u);
    EXPECT_EQ(names.back(), "application-name-2999");
}

struct TWriteCase {
    const char *What;
    std::string Before;
    const char *Section;
    const char *Key;
    const char *Value;
    std::string After;
};

TEST(ProfileFileWrite, ChangesOnlyWhatTheProfileCallChanges) {
    const std::vector<TWriteCase> cases = {
        {"empty file", "", "Section", "key", "value", "[Section]\r\nkey=value\r\n"},
        {"missing section appended, last line ended first", "[A]\r\na=1", "B", "k", "v",
         "[A]\r\na=1\r\n[B]\r\nk=v\r\n"},
        {"replaced in place, file's spelling kept", "[SeC]\nKEY = old\nz=1\n", "sec", "key", "new",
         "[SeC]\nKEY =new\nz=1\n"},
        {"new key after the last key, blank and comment stay below", "[A]\r\nx=1\r\n;c\r\n\r\n[B]\r\n", "A", "k", "v",
         "[A]\r\nx=1\r\nk=v\r\n;c\r\n\r\n[B]\r\n"},
        {"section without keys: right under the header", "[A]\r\n;c\r\n[B]\r\n", "A", "k", "v",
         "[A]\r\nk=v\r\n;c\r\n[B]\r\n"},
        {"arguments trimmed, value as given", "", " A ", " k ", " v ", "[A]\r\nk= v \r\n"},
        {"key with = written as it is", "", "A", "a=b", "", "[A]\r\na=b=\r\n"},
        {"untouched line ends kept", "pre\r[A]\nx=1\r\ny\n", "A", "k", "v", "pre\r[A]\nx=1\r\nk=v\r\ny\n"},
        {"a repeated section: the first is written", "[A]\r\n[B]\r\n[a]\r\n", "A", "k", "v",
         "[A]\r\nk=v\r\n[B]\r\n[a]\r\n"},
        {"NUL bytes elsewhere untouched", "[A]\r\nn=\0\r\n"s, "A", "n", "1", "[A]\r\nn=1\r\n"},
    };
    for (const TWriteCase &c : cases) {
        TProfileFile profile = TProfileFile::Parse(c.Before);
        profile.WriteString(c.Section, c.Key, c.Value);
        EXPECT_EQ(profile.Serialize(), c.After) << c.What;
    }
}

TEST(ProfileFileWrite, EraseRemovesHeaderAndKeysOnly) {
    const std::string before = "pre\r\n[A]\r\na=1\r\n;c\r\n\r\nstray\r\nb=2\r\n[B]\r\nb=1\r\n[a]\r\nz=9\r\n";
    TProfileFile profile = TProfileFile::Parse(before);
    profile.EraseSection("X");
    EXPECT_EQ(profile.Serialize(), before);

    profile.EraseSection(" a ");
    EXPECT_EQ(profile.Serialize(), "pre\r\n;c\r\n\r\nstray\r\n[B]\r\nb=1\r\n[a]\r\nz=9\r\n");

    // The old repeat is now the section's first header; it takes the write, keeping its own spelling.
    profile.WriteString("A", "k", "v");
    EXPECT_EQ(profile.Serialize(), "pre\r\n;c\r\n\r\nstray\r\n[B]\r\nb=1\r\n[a]\r\nz=9\r\nk=v\r\n");

    TProfileFile moved = TProfileFile::Parse("[A]\r\na=1\r\n[B]\r\nb=1\r\n");
    moved.EraseSection("A");
    moved.WriteString("A", "a", "2");
    EXPECT_EQ(moved.Serialize(), "[B]\r\nb=1\r\n[A]\r\na=2\r\n");
}

TEST(ProfileFileBytes, UntouchedFileRoundTripsByteForByte) {
    const std::string odd = "\xEF\xBB\xBFtop\r\n\r[S]\n k = \"v\" \r\n;\0c\r\n\x93quoted\x94\r\rlast"s;
    EXPECT_EQ(TProfileFile::Parse(odd).Serialize(), odd);
}

TEST(ProfileFileBytes, RefusesUtf16) {
    EXPECT_THROW(TProfileFile::Parse("\xFF\xFE[\0S\0]\0"s), EInvexaError);

    TTempDir dir;
    const std::string utf16 = "\xFF\xFE[\0S\0]\0\r\0\n\0"s;
    dir.Write("INVEXA.INI", utf16);
    try {
        TProfileFile::Load(dir.File("INVEXA.INI"));
        FAIL() << "a UTF-16 file was loaded";
    } catch (const EInvexaError &error) {
        EXPECT_NE(std::string(error.what()).find(dir.File("INVEXA.INI")), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("UTF-16"), std::string::npos) << error.what();
    }
    TProfileFile other = TProfileFile::Parse("[S]\r\nk=v\r\n");
    EXPECT_THROW(other.Save(dir.File("INVEXA.INI")), EInvexaError);
    EXPECT_EQ(dir.Read("INVEXA.INI"), utf16);
}

std::size_t CountFiles(const std::string &folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}

TEST(ProfileFileDisk, LoadAndSave) {
    TTempDir dir;
    const std::string path = dir.File("INVEXA.INI");
    EXPECT_EQ(TProfileFile::Load(path).Serialize(), "");
    EXPECT_FALSE(dir.Exists("INVEXA.INI"));

    dir.Write("INVEXA.INI", "[S]\nk=v");
    chmod(path.c_str(), 0640);
    TProfileFile profile = TProfileFile::Load(path);
    profile.WriteString("S", "j", "w");
    profile.Save(path);
    EXPECT_EQ(dir.Read("INVEXA.INI"), "[S]\nk=v\r\nj=w\r\n");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(CountFiles(dir.Path()), 1u) << "temporary file left behind";

    std::filesystem::create_directory(dir.File("folder"));
    EXPECT_THROW(TProfileFile::Load(dir.File("folder")), EInvexaError);
}

TEST(ProfileFileDisk, RefusedSaveLeavesEverythingAsItWas) {
    TTempDir dir;
    const std::string old = "[S]\r\nk=old\r\n";
    TProfileFile changed = TProfileFile::Parse("[S]\r\nk=new\r\n");

    const std::string readOnly = dir.File("INVEXA.INI");
    dir.Write("INVEXA.INI", old);
    chmod(readOnly.c_str(), 0444);
    try {
        changed.Save(readOnly);
        FAIL() << "saved over a read-only file";
    } catch (const EInvexaError &error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + readOnly);
    }
    EXPECT_EQ(dir.Read("INVEXA.INI"), old);

    std::filesystem::create_directory(dir.File("locked"));
    dir.Write("locked/INVEXA.INI", old);
    chmod(dir.File("locked").c_str(), 0555);
    const std::string locked = dir.File("locked/INVEXA.INI");
    try {
        changed.Save(locked);
        FAIL() << "saved into a read-only folder";
    } catch (const EInvexaError &error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + locked);
    }
    EXPECT_EQ(dir.Read("locked/INVEXA.INI"), old);
    EXPECT_EQ(CountFiles(dir.File("locked")), 1u);
}

} // namespace
