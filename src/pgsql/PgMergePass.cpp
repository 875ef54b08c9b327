#include "pgsql/PgMergePass.h"

#include "data/DataFileMerge.h"

#include <ctime>

namespace invexa {

TPgMergePass::TBatch::TBatch(TPgConnection &conn, TFileRemover &remover, std::vector<TMergedFile> &merged,
                             int fileLimit)
    : TScanFileBatch(remover, merged, fileLimit, TDataFileMerge::BatchRows), Scans(conn) {}

bool TPgMergePass::TBatch::Write() {
    if (Scans.Users() == 0)
        return false;
    Scans.Commit();
    return true;
}

TPgMergePass::TPgMergePass(TPgConnection &conn, TMergeSummary &summary, TFileRemover &remover,
                           std::vector<std::string> names)
    : TScanFilePass(summary, remover, std::move(names)), batch_(conn, remover, summary.Merged, FileLimit()) {}

void TPgMergePass::Take(std::size_t i, TPendingFile &pending) {
    TResultsFile &file = *pending.file;
    std::vector<TResultRow> rows;
    ReadOn(file);
    do {
        for (const TRecordView &r : views_) {
            TResultRow &row = rows.emplace_back();
            row.UserName = users_[i];
            row.AppMaker = r.AppMaker;
            row.AppName = r.AppName;
            row.Version = r.Version;
            row.AppPath = r.AppPath;
            row.Verification = r.Verification;
        }
    } while (ReadOn(file));
    pending.info.Records = static_cast<std::int64_t>(rows.size());
    batch_.Scans.Add(users_[i], std::move(rows), file.ModifiedTime(), std::time(nullptr));
}

} // namespace invexa
