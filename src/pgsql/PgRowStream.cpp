#include "pgsql/PgRowStream.h"

#include "data/ResultsTable.h"
#include "pgsql/PgCopyRows.h"

#include <libpq-fe.h>

namespace invexa {

TPgRowStream::TPgRowStream(TPgConnection &conn) : conn_(conn) {
    const std::string sql = std::string("SELECT ") + PgRowColumns + " FROM Results ORDER BY Bookmark";
    if (!PQsendQuery(conn_.Raw(), sql.c_str()) || !PQsetSingleRowMode(conn_.Raw())) {
        done_ = true;
        throw conn_.Failure("Cannot read the results table");
    }
}

TPgRowStream::~TPgRowStream() {
    if (done_)
        return;
    // Abandoned before the end: the server stops sending, and what it sent already is read and dropped.
    if (PGcancel *cancel = PQgetCancel(conn_.Raw())) {
        char error[256];
        PQcancel(cancel, error, sizeof error);
        PQfreeCancel(cancel);
    }
    try {
        conn_.Finish("Cannot read the results table");
    } catch (const EInvexaError &) {
    }
}

bool TPgRowStream::Next(TResultRow &row) {
    if (!NextResult())
        return false;
    row = PgResultRow(current_, 0);
    return true;
}

bool TPgRowStream::Next(TStoredRow &row) {
    if (!NextResult())
        return false;
    row.Bookmark = current_.Int(0, 0);
    for (int i = 0; i < 5; ++i)
        row.Texts[i] = current_.Text(0, i + 1);
    row.Verification = current_.Null(0, 6) ? 0 : current_.Int(0, 6);
    return true;
}

bool TPgRowStream::NextResult() {
    if (done_)
        return false;
    PGresult *raw = PQgetResult(conn_.Raw());
    current_ = TPgResult(raw);
    if (PQresultStatus(raw) == PGRES_SINGLE_TUPLE)
        return true;
    done_ = true;
    if (PQresultStatus(raw) == PGRES_TUPLES_OK) {
        conn_.Finish("Cannot read the results table");
        return false;
    }
    EInvexaError error = conn_.Failure("Cannot read the results table", raw);
    current_ = TPgResult();
    try {
        conn_.Finish("Cannot read the results table");
    } catch (const EInvexaError &) {
    }
    throw error;
}

} // namespace invexa
