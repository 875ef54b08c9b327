#include "config/ProfileFile.h"

#include <gtest/gtest.h>

using namespace invexa;

namespace {

// Found by fuzzing the settings file: once an erased header no longer separates a line ending in a lone CR from
// a blank line's LF, the two bytes read as one CR LF. No byte of the rest may change for that, and no setting.
TEST(ProfileFileLineEnds, EraseBetweenALoneCrAndABlankLineKeepsEveryOtherByte) {
    TProfileFile profile = TProfileFile::Parse("[a]\r\nk=1\r[b]\n\n; c\rj=2\rx");
    profile.EraseSection("B");
    const std::string expected = "[a]\r\nk=1\r\n; c\rx";
    EXPECT_EQ(profile.Serialize(), expected);

    TProfileFile again = TProfileFile::Parse(expected);
    EXPECT_EQ(again.Serialize(), expected);
    EXPECT_EQ(again.ReadString("a", "k"), "1");
    EXPECT_EQ(again.ReadKeyNames("a"), std::vector<std::string>{"k"});
    EXPECT_FALSE(again.ReadString("b", "j"));
}

} // namespace
