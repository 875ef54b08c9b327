#include "pgsql/PgRowStream.h"

#include "pgsql/PgConnection.h"
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
    if (done_)
        return false;
    PGresult *raw = PQgetResult(conn_.Raw());
    TPgResult result(raw);
    if (PQresultStatus(raw) == PGRES_SINGLE_TUPLE) {
        row = PgResultRow(result, 0);
        return true;
    }
    done_ = true;
    if (PQresultStatus(raw) == PGRES_TUPLES_OK) {
        conn_.Finish("Cannot read the results table");
        return false;
    }
    EInvexaError error = conn_.Failure("Cannot read the results table", raw);
    try {
        conn_.Finish("Cannot read the results table");
    } catch (const EInvexaError &) {
    }
    throw error;
}

} // namespace invexa
