#pragma once
#include "data/ResultsDatabase.h"
#include "data/ResultsQuery.h"
#include "data/ResultsStore.h"
#include "data/ResultsTable.h"

#include <memory>
#include <string>

namespace invexa {

// The data module: the results table binding and the query, over one database in the working folder, and the
// store the window and the tool go through: Results.sqlite through these members, unless another is set.
class TDataModule1 {
public:
    explicit TDataModule1(const std::string &workDir);
    ~TDataModule1();
    TDataModule1(const TDataModule1 &) = delete;
    TDataModule1 &operator=(const TDataModule1 &) = delete;

    TResultsDatabase database;
    TResultsTable resultsTbl;
    TResultsQuery Query1;

    TResultsStore &Store() { return *store_; }
    void SetStore(std::unique_ptr<TResultsStore> store) { store_ = std::move(store); }

private:
    std::unique_ptr<TResultsStore> store_;
};

} // namespace invexa
