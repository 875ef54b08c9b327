#include "data/Cp1252.h"
#include "support/ResultsFixture.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace invexa;
using namespace invexa::test;

namespace {

struct TRead {
    std::vector<TResultsRec> records;
    std::vector<std::int64_t> counts; // ReadRec's return values
};

// Reads the way the merge does: records while the position is before the end.
TRead ReadAll(const std::string &path) {
    TResultsFile file(path);
    TRead out;
    while (file.Position() < file.Size()) {
        TResultsRec rec;
        out.counts.push_back(file.ReadRec(rec));
        out.records.push_back(rec);
    }
    EXPECT_EQ(file.Position(), file.Size());
    return out;
}

TRead ReadBytes(const TTempDir &dir, const std::string &bytes) {
    dir.Write("u.ivx", bytes);
    return ReadAll(dir.File("u.ivx"));
}

void ExpectRec(const TResultsRec &r, const char *maker, const char *app, const char *ver, int flag,
               const char *path) {
    EXPECT_EQ(r.AppMaker, maker);
    EXPECT_EQ(r.AppName, app);
    EXPECT_EQ(r.Version, ver);
    EXPECT_EQ(r.Verification, flag);
    EXPECT_EQ(r.AppPath, path);
}

const std::string Example("\x04\0\0\0Acme\x02\0\0\0AB\x03\0\0\0" "1.0\xFF\x03\0\0\0C:\\", 29);

TEST(ScanFileReader, ReadsTheExampleRecordOfTwentyNineBytes) {
    TTempDir dir;
    TRead r = ReadBytes(dir, Example);
    ASSERT_EQ(r.records.size(), 1u);
    ExpectRec(r.records[0], "Acme", "AB", "1.0", -1, "C:\\");
    EXPECT_EQ(r.counts, std::vector<std::int64_t>{29});
}

TEST(ScanFileReader, AllEmptyRecordIsSeventeenBytes) {
    TTempDir dir;
    TRead r = ReadBytes(dir, std::string(17, '\0'));
    ASSERT_EQ(r.records.size(), 1u);
    ExpectRec(r.records[0], "", "", "", 0, "");
    EXPECT_EQ(r.counts, std::vector<std::int64_t>{17});
}

TEST(ScanFileReader, FlagByteIsSigned) {
    for (auto [byte, value] : std::vector<std::pair<char, int>>{{'\xFF', -1}, {'\x02', 2}, {'\x80', -128},
                                                                  {'\x7F', 127}}) {
        TTempDir dir;
        TRead r = ReadBytes(dir, Item("") + Item("") + Item("") + byte + Item(""));
        ASSERT_EQ(r.records.size(), 1u);
        EXPECT_EQ(r.records[0].Verification, value) << int(byte);
    }
}

TEST(ScanFileReader, TextEndsAtFirstZeroByteButTheItemKeepsItsLength) {
    TTempDir dir;
    std::string bytes = Item(std::string("AB\0CDE", 6)) + Item("App") + Item("1") + '\x01' + Item("P");
    TRead r = ReadBytes(dir, bytes + Example);
    ASSERT_EQ(r.records.size(), 2u);
    ExpectRec(r.records[0], "AB", "App", "1", 1, "P");
    EXPECT_EQ(r.counts[0], 17 + 6 + 3 + 1 + 1);
    ExpectRec(r.records[1], "Acme", "AB", "1.0", -1, "C:\\");
}

TEST(ScanFileReader, TextOfTwoHundredOneBytesIsReadWhole) {
    TTempDir dir;
    std::string longest(201, 'x');
    longest[0] = '\xE9';
    TRead r = ReadBytes(dir, Item(longest) + Item(longest) + Item("v") + '\x00' + Item(longest));
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(r.records[0].AppMaker, longest);
    EXPECT_EQ(r.records[0].AppPath, longest);
    EXPECT_EQ(r.counts[0], 17 + 3 * 201 + 1);
}

TEST(ScanFileReader, RefusesLengthsOutsideTheFormatNamingFileAndOffset) {
    // The bad length sits in the second record's application-name item: 29 + 4 + 4 bytes in.
    for (std::uint32_t n : {202u, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x05000000u}) {
        TTempDir dir;
        dir.Write("u.ivx", Example + Item("Acme") + Le32(n) + std::string(300, 'a'));
        TResultsFile file(dir.File("u.ivx"));
        TResultsRec rec;
        file.ReadRec(rec);
        std::string expected = "Invalid scan data file " + dir.File("u.ivx") + ": text length " +
                               std::to_string(static_cast<std::int32_t>(n)) + " at offset 37";
        EXPECT_EQ(ErrorOf([&] { file.ReadRec(rec); }), expected);
    }
}

TEST(ScanFileReader, CutShortLastRecordKeepsWhatIsPresent) {
    const std::string whole = Item("Maker") + Item("Application") + Item("2.0") + '\x02' + Item("C:\\Apps\\x.exe");
    struct Case {
        std::size_t keep;
        const char *maker, *app, *ver;
        int flag;
        const char *path;
    };
    const Case cases[] = {
        {9 + 6, "Maker", "Ap", "", 0, ""},             // inside the application name
        {9 + 15 + 7, "Maker", "Application", "2.0", 0, ""}, // flag byte missing
        {9 + 15 + 7 + 1 + 4 + 3, "Maker", "Application", "2.0", 2, "C:\\"},
        {2, "", "", "", 0, ""},                         // inside the first length item
    };
    for (const Case &c : cases) {
        TTempDir dir;
        TRead r = ReadBytes(dir, Example + whole.substr(0, c.keep));
        ASSERT_EQ(r.records.size(), 2u) << c.keep;
        ExpectRec(r.records[1], c.maker, c.app, c.ver, c.flag, c.path);
        EXPECT_EQ(r.counts[1], static_cast<std::int64_t>(c.keep));
    }
}

TEST(ScanFileReader, ThreeStrayBytesAfterTwoRecordsGiveAThirdEmptyRecord) {
    for (const std::string &stray : {std::string("\0\0\0", 3), std::string("xyz"), std::string("\xFF\xFF\xFF")}) {
        TTempDir dir;
        TRead r = ReadBytes(dir, Example + Example + stray);
        ASSERT_EQ(r.records.size(), 3u);
        ExpectRec(r.records[1], "Acme", "AB", "1.0", -1, "C:\\");
        ExpectRec(r.records[2], "", "", "", 0, "");
        EXPECT_EQ(r.counts, (std::vector<std::int64_t>{29, 29, 3}));
    }
}

TEST(ScanFileReader, EmptyFileHoldsNoRecords) {
    TTempDir dir;
    EXPECT_TRUE(ReadBytes(dir, "").records.empty());
}

TEST(ScanFileReader, MissingFileOrFolderCannotBeOpened) {
    TTempDir dir;
    std::filesystem::create_directory(dir.File("d.ivx"));
    for (const std::string &path : {dir.File("none.ivx"), dir.File("d.ivx")})
        EXPECT_EQ(ErrorOf([&] { TResultsFile f(path); }), "Cannot open file " + path);
}

TEST(ScanFileReader, FileLockedByAnotherHolderCannotBeOpenedUntilReleased) {
    TTempDir dir;
    dir.Write("u.ivx", Example);
    const std::string path = dir.File("u.ivx");
    int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(ErrorOf([&] { TResultsFile f(path); }), "Cannot open file " + path);
    ::close(fd);
    {
        // While we hold it, nobody else may take it either.
        TResultsFile held(path);
        EXPECT_EQ(ErrorOf([&] { TResultsFile f(path); }), "Cannot open file " + path);
        int other = ::open(path.c_str(), O_RDONLY);
        EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
        ::close(other);
    }
    EXPECT_EQ(ReadAll(path).records.size(), 1u);
}

TEST(Cp1252, EveryByteSurvivesTheRoundTripThroughUtf8) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    std::string utf8 = Cp1252ToUtf8(all);
    EXPECT_EQ(Utf8ToCp1252(utf8), all);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(std::string(1, char(b)))), std::string(1, char(b))) << b;
}

TEST(Cp1252, MapsToTheExpectedCharacters) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"A", "A"},
        {"\x80", "\xE2\x82\xAC"}, // euro sign
        {"\xE9", "\xC3\xA9"},
        {"\x9F", "\xC5\xB8"},
        // The five bytes Windows-1252 leaves undefined map to the C1 controls of the same value.
        {"\x81", "\xC2\x81"},
        {"\x8D", "\xC2\x8D"},
        {"\x8F", "\xC2\x8F"},
        {"\x90", "\xC2\x90"},
        {"\x9D", "\xC2\x9D"},
    };
    for (const auto &[bytes, utf8] : cases) {
        EXPECT_EQ(Cp1252ToUtf8(bytes), utf8);
        EXPECT_EQ(Utf8ToCp1252(utf8), bytes);
    }
}

TEST(Cp1252, MalformedOrForeignUtf8BecomesQuestionMarks) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a\x80z", "a?z"},              // stray continuation byte
        {"a\xC3", "a?"},                // cut-short sequence
        {"\xC3(", "?("},                // lead byte without continuation
        {"\xE4\xB8\xAD", "?"},          // a character Windows-1252 lacks
        {"\xC2\x80", "?"},              // U+0080 is not among the 256 (0x80 is the euro sign)
        {"\xC0\x80", "??"},             // overlong zero
        {"\xC1\x81", "??"},             // overlong 'A'
        {"\xE0\x81\x81", "???"},        // overlong 'A'
        {"\xF8\x80\x80\x80\x81", "?????"}, // not a lead byte at all
    };
    for (const auto &[utf8, bytes] : cases)
        EXPECT_EQ(Utf8ToCp1252(utf8), bytes) << utf8;
}

} // namespace
