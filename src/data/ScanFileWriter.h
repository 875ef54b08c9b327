#pragma once
#include "data/RsltsLst.h"

#include <string>
#include <vector>

namespace invexa {

// The scanners' side of a scan data file: writes records in the byte layout TResultsFile reads. Serves the
// tests, the benchmark and the demo folder.
namespace ScanFileWriter {
// Appends the bytes of one record.
void AppendRecord(std::string &out, const TResultsRec &rec);
std::string Encode(const std::vector<TResultsRec> &records);
// Writes the file whole (replacing it); throws EInvexaError on failure.
void WriteFile(const std::string &path, const std::vector<TResultsRec> &records);
void WriteBytes(const std::string &path, const std::string &bytes);
// Realistic sample records for user number n (deterministic).
std::vector<TResultsRec> SampleRecords(int n, int count);
} // namespace ScanFileWriter

} // namespace invexa
