#pragma once
#include "data/DataFileMerge.h"
#include "data/RsltsLst.h"

#include <SQLiteCpp/Transaction.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace SQLite {
class Database;
}

namespace invexa {

class TFileRemover;

// A file whose rows are in the open batch: it stays open and locked until the batch is committed, so no
// scanner can replace it between our read and its deletion.
struct TPendingFile {
    std::unique_ptr<TResultsFile> file;
    TMergedFile info;
};

// The files merged in one write transaction. Their rows are committed together, and only then are the files
// handed to the remover and counted as merged: a crash or an error before the commit rolls every row of the
// batch back and leaves every file of it in place, and a file is never deleted before its rows are durable.
class TMergeBatch {
public:
    // Commits after fileLimit files or rowLimit rows, whichever comes first; the remover deletes the committed
    // files, which are added to `merged`.
    TMergeBatch(SQLite::Database &db, TFileRemover &remover, std::vector<TMergedFile> &merged, int fileLimit,
                std::int64_t rowLimit);

    int FileLimit() const { return fileLimit_; }
    // Opens the write transaction unless it is open: true when it was opened now.
    bool Begin();
    // Holds a file whose rows are written; commits when the batch is full.
    void Add(TPendingFile file);
    void Commit();

private:
    SQLite::Database &db_;
    TFileRemover &remover_;
    std::vector<TMergedFile> &merged_;
    const int fileLimit_;
    const std::int64_t rowLimit_;
    std::vector<TPendingFile> files_;
    std::int64_t rows_ = 0;
    // Declared after the files: on an error the transaction is rolled back before they are closed.
    std::optional<SQLite::Transaction> tx_;
};

} // namespace invexa
