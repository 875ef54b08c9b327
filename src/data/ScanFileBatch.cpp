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
    std::vector<std::unique_ptr<TResultsFile>> done;
    done.reserve(files_.size());
    for (TPendingFile &p : files_) {
        done.push_back(std::move(p.file));
        merged_.push_back(std::move(p.info));
    }
    remover_.Remove(std::move(done));
    files_.clear();
    rows_ = 0;
}

} // namespace invexa
