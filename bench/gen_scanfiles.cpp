// Writes the benchmark's input: USERS scan data files of RECORDS records each into DIR/ivx, and the same rows
// as CSV (table column order, UTF-8) into CSVFILE ("-": none) for the sqlite3 shell's .import. With VARY, a
// later scan of the same computers: each user's file has up to VARY percent more or fewer records, and other
// ones.
#include "base/Cp1252.h"
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
        std::cerr << "usage: gen_scanfiles DIR USERS RECORDS [CSVFILE [VARY]]\n";
        return 2;
    }
    std::filesystem::path ivx = std::filesystem::path(argv[1]) / "ivx";
    std::filesystem::create_directories(ivx);
    int users = std::atoi(argv[2]), records = std::atoi(argv[3]);
    std::ofstream csv;
    if (argc > 4 && std::string(argv[4]) != "-")
        csv.open(argv[4], std::ios::binary);
    const int vary = argc > 5 ? std::atoi(argv[5]) : 0;
    std::string line;
    for (int u = 0; u < users; ++u) {
        char name[32];
        std::snprintf(name, sizeof name, "user%05d", u);
        int count = records, sample = u;
        if (vary > 0) { // spread evenly over -vary..+vary percent, the same for every run
            count += records * ((u * 37) % (2 * vary + 1) - vary) / 100;
            sample += 1000003;
        }
        auto recs = ScanFileWriter::SampleRecords(sample, count);
        ScanFileWriter::WriteFile((ivx / (std::string(name) + ".ivx")).string(), recs);
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
