#pragma once
#include "data/ResultsPager.h"
#include "data/ResultsStore.h"

namespace invexa {

class TDataModule1;

// The results table in Results.sqlite, through the data module's table binding and query. The grid's guarded
// writes are checked against the file's version when the grid last read the rows afresh (Reread): a merge of
// another program reuses the bookmarks of the rows it replaces, so a changed file means a bookmark may now name
// another row.
class TSqliteResultsStore : public TResultsStore {
public:
    explicit TSqliteResultsStore(TDataModule1 &dm);

    std::string Where() const override;
    std::string Describe(const std::exception &e) const override;
    bool Init() override;
    TMergeSummary Merge(const std::string &workDir, IProgress *progress,
                        const std::function<void(const std::string &)> &beforeDelete) override;

    void Open() override;
    void Close() override;
    bool Active() const override;

    void Reread() override;
    std::int64_t Count() override;
    std::int64_t CountUpTo(std::int64_t limit) override;
    bool CountKnown() const override { return pager_.CountKnown(); }
    std::function<std::int64_t()> CountApart() override;
    void TakeCount(std::int64_t count) override { pager_.SetCount(count); }
    std::int64_t BookmarkAt(std::int64_t pos) override;
    std::int64_t PositionOf(std::int64_t bookmark) override;
    std::vector<std::int64_t> Existing(const std::vector<std::int64_t> &bookmarks) override;
    std::vector<TResultRow> ReadAfter(std::int64_t after, int limit) override;
    void NoteDeleted(std::int64_t bookmark) override;
    void NoteAppended(std::int64_t bookmark) override;

    bool UpdateRowIfUnchanged(const TResultRow &row, const TResultRow &shown) override;
    std::optional<TResultRow> DeleteIfUnchanged(const TResultRow &shown) override;
    void InsertRow(TResultRow &row) override;
    std::int64_t DeleteApplication(const std::string &maker, const std::string &appName) override;
    void Empty() override;

    void WalkStored(const std::function<void(const TStoredRow &)> &visit) override;

    TCatalogue::TCounts CatalogueCounts(const std::atomic<bool> *cancel) override;
    std::vector<std::string> Users(const std::string &maker, const std::string &appName,
                                   const std::optional<std::string> &version) override;
    std::vector<TComputerLine> Computers() override;

private:
    TDataModule1 &dm_;
    TResultsPager pager_;
    std::int64_t seen_ = 0;
};

} // namespace invexa
