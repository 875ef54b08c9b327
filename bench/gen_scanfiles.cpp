// Writes the benchmark's input: USERS scan data files of RECORDS records each into DIR/ivx, and the same rows
// as CSV (table column order, UTF-8) into CSVFILE for the sqlite3 shell's .import.
#include "data/Cp1252.h"
#include "data/ResultRow.h"
#include "data/ScanFileWriter.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

using namespace invexa;

namespace {
void Quoted(std::string &out, const std::string &bytes) {
    out += '"';
    for (char c : Cp1252ToUtf8(bytes)) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}
} // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        std::cerr << "usage: gen_scanfiles DIR USERS RECORDS [CSVFILE]\n";
        return 2;
    }
    std::filesystem::path ivx = std::filesystem::path(argv[1]) / "ivx";
    std::filesystem::create_directories(ivx);
    int users = std::atoi(argv[2]), records = std::atoi(argv[3]);
    std::ofstream csv;
    if (argc > 4)
        csv.open(argv[4], std::ios::binary);
    std::string line;
    for (int u = 0; u < users; ++u) {
        char name[32];
        std::snprintf(name, sizeof name, "user%05d", u);
        auto recs = TScanFileWriter::SampleRecords(u, records);
        TScanFileWriter::WriteFile((ivx / (std::string(name) + ".ivx")).string(), recs);
        if (!csv.is_open())
            continue;
        for (const TResultsRec &r : recs) {
            line.clear();
            Quoted(line, name);
            line += ',';
            Quoted(line, CutToWidth(r.AppMaker, 32));
            line += ',';
            Quoted(line, CutToWidth(r.AppName, 32));
            line += ',';
            Quoted(line, CutToWidth(r.Version, 6));
            line += ',';
            Quoted(line, CutToWidth(r.AppPath, 255));
            line += ',' + std::to_string(r.Verification) + '\n';
            csv << line;
        }
    }
    return 0;
}
