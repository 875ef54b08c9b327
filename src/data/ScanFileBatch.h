#pragma once
#include "data/DataFileMerge.h"
#include "data/RsltsLst.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace invexa {

class TFileRemover;

// A file whose rows are in the open batch: it stays open and locked until the batch is committed, so no
// scanner can replace it between our read and its deletion.
struct TPendingFile {
    std::unique_ptr<TResultsFile> file;
    TMergedFile info;
};

// The files merged in one commit of the store. Their rows are committed together, and only then are the files
// handed to the remover and counted as merged: a crash or an error before the commit rolls every row of the
// batch back and leaves every file of it in place, and a file is never deleted before its rows are durable.
class TScanFileBatch {
public:
    // Commits after fileLimit files or rowLimit rows, whichever comes first; the remover deletes the committed
    // files, which are added to `merged`.
    TScanFileBatch(TFileRemover &remover, std::vector<TMergedFile> &merged, int fileLimit, std::int64_t rowLimit);
    virtual ~TScanFileBatch() = default;
    TScanFileBatch(const TScanFileBatch &) = delete;
    TScanFileBatch &operator=(const TScanFileBatch &) = delete;

    int FileLimit() const { return fileLimit_; }
    // Holds a file whose rows are written; commits when the batch is full.
    void Add(TPendingFile file);
    void Commit();

protected:
    // Commits the store's part of the batch; false when there was nothing to commit. A store that rolls back on
    // an error does so in its own members, which are destroyed before the files are closed.
    virtual bool Write() = 0;

private:
    TFileRemover &remover_;
    std::vector<TMergedFile> &merged_;
    const int fileLimit_;
    const std::int64_t rowLimit_;
    std::vector<TPendingFile> files_;
    std::int64_t rows_ = 0;
};

} // namespace invexa
