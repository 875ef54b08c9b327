#pragma once
// A working folder as the scanners leave it (a results table, an ivx sub-folder of scan files) with the reads
// the hardening tests check after each fault: every user's rows, the files still waiting.
#include "data/DataFileMerge.h"
#include "support/ResultsFixture.h"

#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <filesystem>
#include <map>

namespace invexa::test {

struct TScanFolder : TWorkFolder {
    TScanFolder() { std::filesystem::create_directory(Ivx()); }
    std::string Ivx() const { return dir.File("ivx"); }
    std::string Scan(const std::string &name, const std::vector<TResultsRec> &records) const {
        std::string path = Ivx() + "/" + name;
        TScanFileWriter::WriteFile(path, records);
        return path;
    }
    TMergeSummary Merge() { return TDataFileMerge(*dm, dir.Path()).Run(); }
    bool Waiting(const std::string &name) const { return std::filesystem::exists(Ivx() + "/" + name); }
    std::vector<std::string> Waiting() const {
        std::vector<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(Ivx()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Each user's rows in table order.
    std::map<std::string, std::vector<std::string>> ByUser() {
        std::map<std::string, std::vector<std::string>> out;
        Table().Open();
        for (const TResultRow &r : Table().ReadAfter(0, 1 << 30))
            out[r.UserName].push_back(Line(r));
        return out;
    }
    // Every row, sorted: a file merged again after a failure appends its rows at the end, so only the set of
    // rows (with their multiplicity) is comparable with a pass that never failed.
    std::vector<std::string> SortedLines() {
        std::vector<std::string> lines = Lines();
        std::sort(lines.begin(), lines.end());
        return lines;
    }
    // Rows of earlier scans, in one commit.
    void InsertOld(const std::vector<std::string> &users, int perUser) {
        Table().Open();
        SQLite::Transaction tx(dm->database.Connection());
        for (const std::string &u : users)
            for (int k = 0; k < perUser; ++k) {
                TResultRow r = OldRow(u, k);
                Table().InsertRow(r);
            }
        tx.commit();
    }
    static TResultRow OldRow(const std::string &user, int k) {
        return Row(user, "Old", "app" + std::to_string(k), "0", 0, "");
    }
    static std::vector<std::string> OldLines(const std::string &user, int perUser) {
        std::vector<std::string> out;
        for (int k = 0; k < perUser; ++k)
            out.push_back(Line(OldRow(user, k)));
        return out;
    }
    static std::vector<std::string> NewLines(const std::string &user, const std::vector<TResultsRec> &records) {
        std::vector<std::string> out;
        for (const TResultsRec &r : records)
            out.push_back(Line(user, r));
        return out;
    }
};

} // namespace invexa::test
