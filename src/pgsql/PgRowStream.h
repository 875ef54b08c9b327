#pragma once
#include "data/ResultRow.h"

namespace invexa {

class TPgConnection;

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

private:
    TPgConnection &conn_;
    bool done_ = false;
};

} // namespace invexa
