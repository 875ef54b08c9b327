// The datadump.csv line of one row: the five texts between double quotes exactly as held (no escaping, so
// quotes, commas and line breaks inside a text pass as they are), the flag as a decimal integer between the
// fourth and the fifth, "," between fields and CR LF at the end, appended to what the buffer held.
#include "FuzzCheck.h"

#include "base/InvexaError.h"
#include "data/ResultRow.h"
#include "export/CsvExport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

using namespace invexa;

namespace {

// A whole number as the grid's editor takes it: one optional sign, then digits only, -32768..32767.
std::optional<int> ParseFlag(const std::string &text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return std::nullopt;
    long value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > 32768)
            return std::nullopt;
    }
    value = negative ? -value : value;
    if (value > 32767)
        return std::nullopt;
    return static_cast<int>(value);
}

std::string Cut(const std::string &text, std::size_t width) {
    return text.substr(0, std::min(text.find('\0'), width));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    static constexpr TField Texts[] = {TField::UserName, TField::AppMaker, TField::AppName, TField::Version,
                                       TField::AppPath};
    TResultRow row;
    std::string expected[5];
    for (int i = 0; i < 5; ++i) {
        std::string text = in.ConsumeRandomLengthString(300);
        if (in.ConsumeBool()) {
            // As the table and the grid's editor store it: cut at a zero byte and to the column's width.
            row.SetText(Texts[i], text);
            expected[i] = Cut(text, static_cast<std::size_t>(FieldWidth(Texts[i])));
            FUZZ_CHECK(row.Text(Texts[i]) == expected[i]);
        } else {
            // The line writes whatever the row holds, without cutting it again.
            expected[i] = text;
            (i == 0 ? row.UserName : i == 1 ? row.AppMaker : i == 2 ? row.AppName : i == 3 ? row.Version : row.AppPath) =
                text;
        }
    }
    std::optional<int> flag;
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 1: {
        int value = in.ConsumeIntegral<int>();
        bool fits = value >= -32768 && value <= 32767;
        try {
            row.SetInteger(TField::Verification, value);
            FUZZ_CHECK(fits);
            flag = value;
        } catch (const EInvexaError &) {
            FUZZ_CHECK(!fits);
        }
        break;
    }
    case 2: {
        std::string text = in.ConsumeRandomLengthString(12);
        std::optional<int> parsed = text.empty() ? std::nullopt : ParseFlag(text);
        try {
            row.SetText(TField::Verification, text);
            FUZZ_CHECK(text.empty() || parsed);
            flag = parsed;
        } catch (const EInvexaError &) {
            FUZZ_CHECK(!parsed && !text.empty());
        }
        FUZZ_CHECK(row.Verification == (flag ? std::optional<std::int16_t>(*flag) : std::nullopt));
        break;
    }
    default: break;
    }

    // An empty flag is written as 0.
    char number[16];
    std::snprintf(number, sizeof number, "%d", flag.value_or(0));
    std::string line = "\"" + expected[0] + "\",\"" + expected[1] + "\",\"" + expected[2] + "\",\"" + expected[3] +
                       "\"," + number + ",\"" + expected[4] + "\"\r\n";

    std::string prefix = in.ConsumeRemainingBytesAsString();
    std::string out = prefix;
    TCsvExport::AppendLine(out, row);
    FUZZ_CHECK(out.size() == prefix.size() + line.size());
    FUZZ_CHECK(out.compare(0, prefix.size(), prefix) == 0);
    FUZZ_CHECK(out.compare(prefix.size(), std::string::npos, line) == 0);
    return 0;
}
