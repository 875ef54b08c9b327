#include "data/ResultRow.h"

#include "base/InvexaError.h"

#include <charconv>

namespace invexa {

const char *FieldName(TField field) {
    switch (field) {
    case TField::UserName:
        return "UserName";
    case TField::AppMaker:
        return "AppMaker";
    case TField::AppName:
        return "AppName";
    case TField::Version:
        return "Version";
    case TField::AppPath:
        return "AppPath";
    case TField::Verification:
        return "Verification";
    }
    return "";
}

int FieldWidth(TField field) {
    switch (field) {
    case TField::UserName:
        return 16;
    case TField::AppMaker:
        return 32;
    case TField::AppName:
        return 32;
    case TField::Version:
        return 6;
    case TField::AppPath:
        return 255;
    case TField::Verification:
        return 0;
    }
    return 0;
}

std::string_view CutView(std::string_view text, int width) {
    std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    if (text.size() > static_cast<std::size_t>(width))
        text = text.substr(0, static_cast<std::size_t>(width));
    return text;
}

std::string CutToWidth(std::string_view text, int width) {
    return std::string(CutView(text, width));
}

namespace {
template <class Row> auto &TextOf(Row &row, TField field) {
    switch (field) {
    case TField::UserName:
        return row.UserName;
    case TField::AppMaker:
        return row.AppMaker;
    case TField::AppName:
        return row.AppName;
    case TField::Version:
        return row.Version;
    default:
        return row.AppPath;
    }
}
} // namespace

std::string TResultRow::Text(TField field) const {
    if (field == TField::Verification)
        return Verification ? std::to_string(*Verification) : std::string();
    return TextOf(*this, field);
}

void TResultRow::SetText(TField field, std::string_view text) {
    if (field != TField::Verification) {
        TextOf(*this, field).assign(CutView(text, FieldWidth(field)));
        return;
    }
    if (text.empty()) {
        Verification.reset();
        return;
    }
    int value = 0;
    const char *first = text.data(), *last = text.data() + text.size();
    // One sign at most: from_chars takes a minus sign itself, so a minus after a skipped plus must be refused here.
    bool plus = *first == '+';
    if (plus)
        ++first;
    auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || first == last || (plus && *first == '-') || value < -32768 || value > 32767)
        throw EInvexaError("Verification takes a whole number from -32768 to 32767, not '" + std::string(text) + "'");
    Verification = value;
}

} // namespace invexa
