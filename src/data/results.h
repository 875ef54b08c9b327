#pragma once
#include "data/ResultsDatabase.h"
#include "data/ResultsQuery.h"
#include "data/ResultsTable.h"

#include <string>

namespace invexa {

// The data module: the results table binding and the query, over one database in the working folder.
class TDataModule1 {
public:
    explicit TDataModule1(const std::string &workDir) : database(workDir), resultsTbl(database), Query1(database) {}
    TDataModule1(const TDataModule1 &) = delete;
    TDataModule1 &operator=(const TDataModule1 &) = delete;

    TResultsDatabase database;
    TResultsTable resultsTbl;
    TResultsQuery Query1;
};

} // namespace invexa
