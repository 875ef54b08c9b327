#include "data/ScanFileBatch.h"

#include "data/FileRemover.h"

namespace invexa {

TScanFileBatch::TScanFileBatch(TFileRemover &remover, std::vector<TMergedFile> &merged, int fileLimit,
                               std::int64_t rowLimit)
    : remover_(remover), merged_(merged), fileLimit_(fileLimit), rowLimit_(rowLimit) {}

void TScanFileBatch::Add(TPendingFile file) {
    rows_ += file.info.Records;
    files_.push_back(std::move(file));
    if (static_cast<int>(files_.size()) >= fileLimit_ || rows_ >= rowLimit_)
        Commit();
}

void TScanFileBatch::Commit() {
    if (!Write())
        return;
    for (TPendingFile &p : files_) {
        remover_.Remove(std::move(p.file));
        merged_.push_back(std::move(p.info));
    }
    files_.clear();
    rows_ = 0;
}

} // namespace invexa
