#pragma once
#include "data/ResultRow.h"
#include "pgsql/PgConnection.h"

namespace invexa {

struct TStoredRow;

// The rows in natural order, read from the server as they are needed: a query in single-row mode, so the
// table is never held in memory. The connection serves nothing else until the stream ends or is destroyed.
class TPgRowStream {
public:
    explicit TPgRowStream(TPgConnection &conn);
    ~TPgRowStream();
    TPgRowStream(const TPgRowStream &) = delete;
    TPgRowStream &operator=(const TPgRowStream &) = delete;
    // The next row; false after the last.
    bool Next(TResultRow &row);
    // The same as the table stores it (UTF-8), for the export; the views hold until the next row.
    bool Next(TStoredRow &row);

private:
    bool NextResult();

    TPgConnection &conn_;
    TPgResult current_;
    bool done_ = false;
};

} // namespace invexa
