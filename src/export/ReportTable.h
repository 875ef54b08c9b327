#pragma once
#include "data/Catalogue.h"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace invexa {

enum class TReportFormat { Text, Csv, Json };

// A UTF-8 text as a JSON string: quoted, with quotes, backslashes and control characters escaped.
std::string JsonString(const std::string &utf8);

// A small table of UTF-8 texts written in one of three forms: aligned columns under a header line (text),
// RFC 4180 with a header line and CR LF after every line (csv), or one array of objects keyed by the column
// names (json, numbers as numbers and a missing value as null).
class TReportTable {
public:
    struct TColumn {
        std::string Name;
        bool Numeric = false;
    };
    using TCell = std::optional<std::string>;

    std::vector<TColumn> Columns;
    std::vector<std::vector<TCell>> Rows;

    void Write(std::ostream &out, TReportFormat format) const;

    // "text", "csv" or "json"; nothing for any other word.
    static std::optional<TReportFormat> ParseFormat(std::string_view word);

    // The reports of the catalogue commands (and of the window's CSV button).
    static TReportTable Catalogue(const std::vector<TCatalogueLine> &lines, bool versions);
    static TReportTable Users(const std::vector<std::string> &users);
    static TReportTable Computers(const std::vector<TComputerLine> &lines);

private:
    void WriteText(std::ostream &out) const;
    void WriteCsv(std::ostream &out) const;
    void WriteJson(std::ostream &out) const;
};

} // namespace invexa
