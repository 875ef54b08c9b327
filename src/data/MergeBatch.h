#pragma once
#include "data/ScanFileBatch.h"

#include <SQLiteCpp/Transaction.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace SQLite {
class Database;
}

namespace invexa {

// The files merged in one SQLite write transaction.
class TMergeBatch : public TScanFileBatch {
public:
    TMergeBatch(SQLite::Database &db, TFileRemover &remover, std::vector<TMergedFile> &merged, int fileLimit,
                std::int64_t rowLimit);

    // Opens the write transaction unless it is open: true when it was opened now.
    bool Begin();

protected:
    bool Write() override;

private:
    SQLite::Database &db_;
    // A member of this class, so destroyed before the base's files: on an error the transaction is rolled back
    // before they are closed.
    std::optional<SQLite::Transaction> tx_;
};

} // namespace invexa
