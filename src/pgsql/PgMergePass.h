#pragma once
#include "data/ScanFilePass.h"
#include "pgsql/PgMergeBatch.h"

#include <cstddef>
#include <string>
#include <vector>

namespace invexa {

class TPgConnection;

// The merge pass into PostgreSQL: each file is read whole and checked before any of its rows is taken, and the
// files of a batch are written by one TPgMergeBatch, whose commit replaces their users' rows and scan times.
class TPgMergePass : public TScanFilePass {
public:
    TPgMergePass(TPgConnection &conn, TMergeSummary &summary, TFileRemover &remover, std::vector<std::string> names);

protected:
    void Take(std::size_t file, TPendingFile &pending) override;
    TScanFileBatch &Batch() override { return batch_; }

private:
    // The files of one TPgMergeBatch.
    class TBatch : public TScanFileBatch {
    public:
        TBatch(TPgConnection &conn, TFileRemover &remover, std::vector<TMergedFile> &merged, int fileLimit);
        TPgMergeBatch Scans;

    protected:
        bool Write() override;
    };

    TBatch batch_;
};

} // namespace invexa
