#include "data/MergeBatch.h"

namespace invexa {

TMergeBatch::TMergeBatch(SQLite::Database &db, TFileRemover &remover, std::vector<TMergedFile> &merged, int fileLimit,
                         std::int64_t rowLimit)
    : TScanFileBatch(remover, merged, fileLimit, rowLimit), db_(db) {}

bool TMergeBatch::Begin() {
    if (tx_)
        return false;
    tx_.emplace(db_, SQLite::TransactionBehavior::IMMEDIATE);
    return true;
}

bool TMergeBatch::Write() {
    if (!tx_)
        return false;
    tx_->commit();
    tx_.reset();
    return true;
}

} // namespace invexa
