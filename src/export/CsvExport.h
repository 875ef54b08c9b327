#pragma once
#include "data/ResultRow.h"

#include <string>

namespace invexa {

class TResultsTable;

// datadump.csv: one line per row in table order, "user","maker","app","version",verification,"path" CR LF,
// texts written as stored (no escaping), 8-bit.
class TCsvExport {
public:
    static constexpr const char *FileName = "datadump.csv";

    static void AppendLine(std::string &out, const TResultRow &row);
    // Walks the table's cursor from the first row to the end, writing each row at once; the last row is
    // current afterwards. The file is created anew first. Errors: "File access denied", "Disk full",
    // "Cannot perform this operation on a closed dataset", others as the system names them.
    // Returns the number of rows written.
    static long long Export(TResultsTable &table, const std::string &path);
};

} // namespace invexa
