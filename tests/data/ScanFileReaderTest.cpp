#include "base/Cp1252.h"
#include "support/ResultsFixture.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace invexa;
using namespace invexa::test;

namespace {

// The byte layout, cut-short records and bad lengths are held to a decoder of their own by the scan-file fuzz
// target, whose corpus the suite replays (ScanFileCorpus).

// Reads the way the merge does, records while the position is before the end: "maker|app|version|flag|path@n",
// n being what ReadRec returned.
std::vector<std::string> ReadAll(const std::string &path) {
    TResultsFile file(path);
    std::vector<std::string> out;
    for (TResultsRec rec; file.Position() < file.Size();) {
        std::int64_t n = file.ReadRec(rec);
        out.push_back(Line("", rec).substr(1) + "@" + std::to_string(n));
    }
    EXPECT_EQ(file.Position(), file.Size());
    return out;
}

const std::string Example("\x04\0\0\0Acme\x02\0\0\0AB\x03\0\0\0"
                          "1.0\xFF\x03\0\0\0C:\\",
                          29),
    ExampleRead = "Acme|AB|1.0|-1|C:\\@29";

// A file cut shorter while it is read is refused rather than taken for a shorter scan; while the reader holds a
// file, nobody else may take it. (Links, FIFOs, folders and files a scanner holds: the merge's tests.)
TEST(ScanFileReader, AFileCutShorterWhileReadIsRefusedAndAHeldFileIsTheReadersAlone) {
    TTempDir dir;
    const std::string path = dir.File("u.ivx");
    dir.Write("u.ivx", Example + Example);
    {
        TResultsFile cut(path);
        ASSERT_EQ(::truncate(path.c_str(), 20), 0);
        TResultsRec rec;
        EXPECT_EQ(ErrorOf([&] { cut.ReadRec(rec); }),
                  "Cannot read file " + path + ": it became shorter while it was read");
    }
    dir.Write("u.ivx", Example);
    {
        TResultsFile held(path);
        EXPECT_EQ(ErrorOf([&] { TResultsFile f(path); }), "Cannot open file " + path);
        int other = ::open(path.c_str(), O_RDONLY);
        EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
        ::close(other);
    }
    EXPECT_EQ(ReadAll(path), std::vector<std::string>{ExampleRead});
}

TEST(Cp1252, EveryByteSurvivesTheRoundTripThroughUtf8AsTheCharacterItStandsFor) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, char(b)), utf8 = Cp1252ToUtf8(byte);
        EXPECT_EQ(Utf8ToCp1252(utf8), byte) << b;
        if (b < 0x80) {
            EXPECT_EQ(utf8, byte);
        }
    }
    // The euro sign, letters, and the five bytes Windows-1252 leaves undefined as the C1 controls of their value.
    EXPECT_EQ(Cp1252ToUtf8("\x80\xE9\x9F\x81\x8D\x8F\x90\x9D"),
              "\xE2\x82\xAC\xC3\xA9\xC5\xB8\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
}

TEST(Cp1252, MalformedOrForeignUtf8BecomesQuestionMarks) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a\x80z", "a?z"},                 // stray continuation byte
        {"a\xC3", "a?"},                   // cut-short sequence
        {"\xC3(", "?("},                   // lead byte without continuation
        {"\xE4\xB8\xAD", "?"},             // a character Windows-1252 lacks
        {"\xC2\x80", "?"},                 // U+0080 is not among the 256 (0x80 is the euro sign)
        {"\xC0\x80", "??"},                // overlong zero
        {"\xC1\x81", "??"},                // overlong 'A'
        {"\xE0\x81\x81", "???"},           // overlong 'A' again
        {"\xF8\x80\x80\x80\x81", "?????"}, // not a lead byte at all
        {"C:\\Program Files\\Caf\xC3\xA9 \xC3 compta.exe", "C:\\Program Files\\Caf\xE9 ? compta.exe"}, // runs of ASCII
    };
    for (const auto &[utf8, bytes] : cases)
        EXPECT_EQ(Utf8ToCp1252(utf8), bytes) << utf8;
}

} // namespace
