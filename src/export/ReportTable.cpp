#include "export/ReportTable.h"

#include "data/ScanTimes.h"

#include <algorithm>

namespace invexa {
namespace {

// Characters, not bytes, line the columns up on a terminal.
std::size_t Width(std::string_view utf8) {
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string CsvField(const std::string &s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

TReportTable::TCell Time(const std::optional<std::int64_t> &t) {
    return t ? TReportTable::TCell(ScanTimes::Iso8601(*t)) : std::nullopt;
}

} // namespace

std::string JsonString(const std::string &utf8) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : utf8) {
        auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
            out.append(1, '\\').append(1, c);
        else if (u < 0x20)
            out.append("\\u00").append(1, Hex[u >> 4]).append(1, Hex[u & 15]);
        else
            out += c;
    }
    return out + "\"";
}

std::optional<TReportFormat> TReportTable::ParseFormat(std::string_view word) {
    if (word == "text")
        return TReportFormat::Text;
    if (word == "csv")
        return TReportFormat::Csv;
    if (word == "json")
        return TReportFormat::Json;
    return std::nullopt;
}

void TReportTable::Write(std::ostream &out, TReportFormat format) const {
    switch (format) {
    case TReportFormat::Text:
        return WriteText(out);
    case TReportFormat::Csv:
        return WriteCsv(out);
    case TReportFormat::Json:
        return WriteJson(out);
    }
}

void TReportTable::WriteText(std::ostream &out) const {
    std::vector<std::size_t> widths;
    for (const TColumn &c : Columns)
        widths.push_back(Width(c.Name));
    for (const auto &row : Rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], Width(row[i].value_or("")));
    auto line = [&](auto cellOf) {
        std::string text;
        for (std::size_t i = 0; i < Columns.size(); ++i) {
            std::string cell = cellOf(i);
            std::string pad(widths[i] - Width(cell), ' ');
            if (i > 0)
                text += "  ";
            text += Columns[i].Numeric ? pad + cell : cell + pad;
        }
        text.erase(text.find_last_not_of(' ') + 1);
        out << text << "\n";
    };
    line([&](std::size_t i) { return Columns[i].Name; });
    for (const auto &row : Rows)
        line([&](std::size_t i) { return row[i].value_or(""); });
}

void TReportTable::WriteCsv(std::ostream &out) const {
    for (std::size_t i = 0; i < Columns.size(); ++i)
        out << (i ? "," : "") << CsvField(Columns[i].Name);
    out << "\r\n";
    for (const auto &row : Rows) {
        for (std::size_t i = 0; i < row.size(); ++i)
            out << (i ? "," : "") << CsvField(row[i].value_or(""));
        out << "\r\n";
    }
}

void TReportTable::WriteJson(std::ostream &out) const {
    out << "[";
    for (std::size_t r = 0; r < Rows.size(); ++r) {
        out << (r ? ",\n  {" : "\n  {");
        for (std::size_t i = 0; i < Columns.size(); ++i) {
            const TCell &cell = Rows[r][i];
            out << (i ? ", " : "") << JsonString(Columns[i].Name) << ": "
                << (!cell                ? "null"
                    : Columns[i].Numeric ? *cell
                                         : JsonString(*cell));
        }
        out << "}";
    }
    out << (Rows.empty() ? "]\n" : "\n]\n");
}

TReportTable TReportTable::Catalogue(const std::vector<TCatalogueLine> &lines, bool versions) {
    TReportTable t;
    t.Columns = {{"AppMaker"}, {"AppName"}};
    if (versions)
        t.Columns.push_back({"Version"});
    t.Columns.push_back({"Installs", true});
    for (const TCatalogueLine &l : lines) {
        std::vector<TCell> row{l.AppMaker, l.AppName};
        if (versions)
            row.emplace_back(l.Version);
        row.emplace_back(std::to_string(l.Installs));
        t.Rows.push_back(std::move(row));
    }
    return t;
}

TReportTable TReportTable::Users(const std::vector<std::string> &users) {
    TReportTable t;
    t.Columns = {{"UserName"}};
    for (const std::string &u : users)
        t.Rows.push_back({u});
    return t;
}

TReportTable TReportTable::Computers(const std::vector<TComputerLine> &lines) {
    TReportTable t;
    t.Columns = {{"UserName"}, {"Rows", true}, {"LastScan"}, {"Merged"}};
    for (const TComputerLine &l : lines)
        t.Rows.push_back({l.UserName, std::to_string(l.Rows), Time(l.LastScan), Time(l.Merged)});
    return t;
}

} // namespace invexa
