#pragma once
#include <cstdint>

namespace invexa {

class TPgResultsStore;
class TResultsDatabase;

// The one-time move of a site's Results.sqlite into PostgreSQL: every row with its bookmark, so the order is
// kept, and every scan time, in one transaction into tables that must be empty (made here when missing).
class TPgStoreCopy {
public:
    // Answers the rows copied. The SQLite table is read as the product reads it (Windows-1252 in memory), so
    // the texts arrive cut to their columns' widths, as the grid shows them.
    static std::int64_t Run(TResultsDatabase &from, TPgResultsStore &to);
};

} // namespace invexa
