#pragma once
#include "data/MergeBatch.h"
#include "data/ResultRow.h"
#include "data/ScanFilePass.h"
#include "data/ScanTimes.h"
#include "data/TailRewrite.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace invexa {

class TDataModule1;

// The merge pass into Results.sqlite: each file's rows over its user's old rows where the tail rewrite covers it,
// else appended after a gap, in write transactions that hold many files each.
class TMergePass : public TScanFilePass {
public:
    TMergePass(TDataModule1 &dm, TMergeSummary &summary, TFileRemover &remover, std::vector<std::string> names);

protected:
    void Take(std::size_t file, TPendingFile &pending) override;
    void KeepOldRows(std::size_t file) override;
    TScanFileBatch &Batch() override { return batch_; }

private:
    void Begin(std::size_t file);
    void Place(std::size_t file, TPendingFile &pending);
    TPlacement Appended() const;
    bool MergeDataFile(TPendingFile &pending, TPlacement &at);
    std::int64_t Start(const std::string &user, TPlacement &at);
    bool Again(TPendingFile &pending, TPlacement &at);
    bool Post(const std::string &user, const TPlacement &at, std::int64_t &next);

    TDataModule1 &dm_;
    TScanTimeRecorder times_; // each user's times go in the transaction of its rows
    TTailRewrite tail_;
    bool planned_ = false;
    std::int64_t lastAppended_ = 0; // rows of the file appended last
    // The remover outlives the batch's transaction: on an error the batch is rolled back first, and only files
    // of committed batches were handed to the remover.
    TMergeBatch batch_;
};

} // namespace invexa
