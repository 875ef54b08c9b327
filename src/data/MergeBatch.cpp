#include "data/MergeBatch.h"

#include "data/FileRemover.h"

namespace invexa {

TMergeBatch::TMergeBatch(SQLite::Database &db, TFileRemover &remover, std::vector<TMergedFile> &merged, int fileLimit,
                         std::int64_t rowLimit)
    : db_(db), remover_(remover), merged_(merged), fileLimit_(fileLimit), rowLimit_(rowLimit) {}

bool TMergeBatch::Begin() {
    if (tx_)
        return false;
    tx_.emplace(db_, SQLite::TransactionBehavior::IMMEDIATE);
    return true;
}

void TMergeBatch::Add(TPendingFile file) {
    rows_ += file.info.Records;
    files_.push_back(std::move(file));
    if (static_cast<int>(files_.size()) >= fileLimit_ || rows_ >= rowLimit_)
        Commit();
}

void TMergeBatch::Commit() {
    if (!tx_)
        return;
    tx_->commit();
    tx_.reset();
    for (TPendingFile &p : files_) {
        remover_.Remove(std::move(p.file));
        merged_.push_back(std::move(p.info));
    }
    files_.clear();
    rows_ = 0;
}

} // namespace invexa
