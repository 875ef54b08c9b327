#include "data/results.h"

#include "data/SqliteResultsStore.h"

namespace invexa {

TDataModule1::TDataModule1(const std::string &workDir)
    : database(workDir), resultsTbl(database), Query1(database), store_(std::make_unique<TSqliteResultsStore>(*this)) {}

TDataModule1::~TDataModule1() = default;

} // namespace invexa
