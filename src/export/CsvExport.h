#pragma once
#include "data/ResultRow.h"

#include <string>

namespace invexa {

class TResultsStore;
class TResultsTable;

// datadump.csv: one line per row in table order, "user","maker","app","version",verification,"path" CR LF,
// texts written as stored (no escaping), 8-bit.
namespace CsvExport {
constexpr const char *FileName = "datadump.csv";

// Walks the table's cursor from the first row to the end (WalkStored), writing each row as it comes; the last
// row is current afterwards. The rows go to a new file that replaces the one at path when complete, so a failed
// export leaves the previous one whole. Errors: "File access denied" (also a file marked read-only),
// "Disk full", "Cannot perform this operation on a closed dataset", a refusal naming path when something
// other than a regular file stands there (a symbolic link, a FIFO, a folder), others as the system names them.
// Returns the number of rows written.
long long Export(TResultsTable &table, const std::string &path);
// The same through a store's stream (WalkStored), whichever database holds the rows.
long long Export(TResultsStore &store, const std::string &path);
} // namespace CsvExport

} // namespace invexa
