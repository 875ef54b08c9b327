#include "data/InvexaError.h"
#include "data/ResultRow.h"

#include <gtest/gtest.h>

using namespace invexa;

namespace {

TEST(ResultRow, VerificationTextTakesOneSignAndDigitsInTheSmallintRange) {
    TResultRow row;
    for (auto [text, value] : {std::pair<const char *, int>{"+12", 12}, {"-32768", -32768}, {"32767", 32767},
                               {"007", 7}, {"-0", 0}}) {
        row.SetText(TField::Verification, text);
        EXPECT_EQ(row.Verification, std::optional<std::int16_t>(value)) << text;
    }
    row.SetText(TField::Verification, "");
    EXPECT_FALSE(row.Verification);
}

// Found by fuzzing the CSV line: a plus sign followed by a minus sign was taken as a negative number.
TEST(ResultRow, VerificationTextWithTwoSignsIsRefusedAndKeepsTheValue) {
    for (const char *text : {"+-5", "-+5", "++5", "--5", "+", "-", "32768", "-32769", " 1", "1 ", "1.0"}) {
        TResultRow row;
        row.SetInteger(TField::Verification, 3);
        EXPECT_THROW(row.SetText(TField::Verification, text), EInvexaError) << text;
        EXPECT_EQ(row.Verification, std::optional<std::int16_t>(3)) << text;
    }
}

} // namespace
