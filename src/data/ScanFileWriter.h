#pragma once
#include "data/RsltsLst.h"

#include <string>
#include <vector>

namespace invexa {

// The scanners' side of a scan data file: writes records in the byte layout TResultsFile reads. Serves the
// tests, the benchmark and the demo folder.
class TScanFileWriter {
public:
    // Appends the bytes of one record.
    static void AppendRecord(std::string &out, const TResultsRec &rec);
    static std::string Encode(const std::vector<TResultsRec> &records);
    // Writes the file whole (replacing it); throws EInvexaError on failure.
    static void WriteFile(const std::string &path, const std::vector<TResultsRec> &records);
    static void WriteBytes(const std::string &path, const std::string &bytes);
    // Realistic sample records for user number n (deterministic).
    static std::vector<TResultsRec> SampleRecords(int n, int count);
};

} // namespace invexa
