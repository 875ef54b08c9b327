// The INI reader and writer, held to what the Windows profile calls do.
#include "config/ProfileFile.h"

#include <gtest/gtest.h>

using namespace invexa;
using namespace std::string_literals;

namespace {

// The line rules of reading, and a section rewritten in one step, are held to a model of their own by the
// settings fuzz target, whose corpus the suite replays (ProfileFileCorpus); here, where writes put their lines,
// which that model leaves open.
TEST(ProfileFileWrite, WritesAndErasesChangeOnlyWhatTheProfileCallsChange) {
    struct Case {
        const char *What;
        std::string Before;
        const char *Erase, *Section, *Key, *Value; // the section erased first, if any; then the write, if any
        std::string After;
    };
    const std::string mixed = "pre\r\n[A]\r\na=1\r\n;c\r\n\r\nstray\r\nb=2\r\n[B]\r\nb=1\r\n[a]\r\nz=9\r\n";
    const std::vector<Case> cases = {
        {"empty file", "", nullptr, "Section", "key", "value", "[Section]\r\nkey=value\r\n"},
        {"missing section appended, last line ended first", "[A]\r\na=1", nullptr, "B", "k", "v",
         "[A]\r\na=1\r\n[B]\r\nk=v\r\n"},
        {"replaced in place, file's spelling kept", "[SeC]\nKEY = old\nz=1\n", nullptr, "sec", "key", "new",
         "[SeC]\nKEY =new\nz=1\n"},
        {"new key after the last key, blank and comment stay below", "[A]\r\nx=1\r\n;c\r\n\r\n[B]\r\n", nullptr, "A",
         "k", "v", "[A]\r\nx=1\r\nk=v\r\n;c\r\n\r\n[B]\r\n"},
        {"section without keys: right under the header", "[A]\r\n;c\r\n[B]\r\n", nullptr, "A", "k", "v",
         "[A]\r\nk=v\r\n;c\r\n[B]\r\n"},
        {"arguments trimmed, value as given", "", nullptr, " A ", " k ", " v ", "[A]\r\nk= v \r\n"},
        {"key with = written as it is", "", nullptr, "A", "a=b", "", "[A]\r\na=b=\r\n"},
        {"untouched line ends kept", "pre\r[A]\nx=1\r\ny\n", nullptr, "A", "k", "v", "pre\r[A]\nx=1\r\nk=v\r\ny\n"},
        {"a repeated section: the first is written", "[A]\r\n[B]\r\n[a]\r\n", nullptr, "A", "k", "v",
         "[A]\r\nk=v\r\n[B]\r\n[a]\r\n"},
        {"NUL bytes elsewhere untouched", "[A]\r\nn=\0\r\n"s, nullptr, "A", "n", "1", "[A]\r\nn=1\r\n"},
        {"erasing a missing section changes nothing", mixed, "X", nullptr, nullptr, nullptr, mixed},
        {"erase takes header and keys only; then the repeat takes the write", mixed, " a ", "A", "k", "v",
         "pre\r\n;c\r\n\r\nstray\r\n[B]\r\nb=1\r\n[a]\r\nz=9\r\nk=v\r\n"},
        {"a section erased and written again moves to the end", "[A]\r\na=1\r\n[B]\r\nb=1\r\n", "A", "A", "a", "2",
         "[B]\r\nb=1\r\n[A]\r\na=2\r\n"},
        // Found by fuzzing: once an erased header no longer separates a line ending in a lone CR from a blank
        // line's LF, the two bytes read as one CR LF; no other byte may change for that.
        {"erase between a lone CR and a blank line", "[a]\r\nk=1\r[b]\n\n; c\rj=2\rx", "B", nullptr, nullptr, nullptr,
         "[a]\r\nk=1\r\n; c\rx"},
        // Found by fuzzing: a stray line that starts with the bytes of a UTF-16 mark is harmless inside the file,
        // but once the section above it is erased it would come first and make the whole file read as UTF-16.
        {"erase never leaves a UTF-16 mark at the start", "[A]\r\na=1\r\n\xFF\xFE[\0x\r\n[B]\r\n"s, "A", nullptr,
         nullptr, nullptr, "\r\n\xFF\xFE[\0x\r\n[B]\r\n"s},
        {"nor a big-endian one", "[A]\n\xFE\xFFx\n"s, "A", "A", "k", "v", "\r\n\xFE\xFFx\n[A]\r\nk=v\r\n"s},
    };
    for (const Case &c : cases) {
        TProfileFile profile = TProfileFile::Parse(c.Before);
        if (c.Erase)
            profile.EraseSection(c.Erase);
        if (c.Section)
            profile.WriteString(c.Section, c.Key, c.Value);
        EXPECT_EQ(profile.Serialize(), c.After) << c.What;
        EXPECT_NO_THROW(TProfileFile::Parse(profile.Serialize())) << c.What << ": what was written reads back";
    }
    const std::string odd = "\xEF\xBB\xBFtop\r\n\r[S]\n k = \"v\" \r\n;\0c\r\n\x93quoted\x94\r\rlast"s;
    EXPECT_EQ(TProfileFile::Parse(odd).Serialize(), odd) << "an untouched file comes back byte for byte";
}

} // namespace
