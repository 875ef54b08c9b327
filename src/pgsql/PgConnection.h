#pragma once
#include "base/InvexaError.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// libpq's own types, so that its header stays out of ours.
struct pg_conn;
struct pg_result;

namespace invexa {

// One result of a statement, freed with the object. Values come as the server's text.
class TPgResult {
public:
    explicit TPgResult(pg_result *result = nullptr) : result_(result) {}
    ~TPgResult();
    TPgResult(TPgResult &&other) noexcept : result_(other.result_) { other.result_ = nullptr; }
    TPgResult &operator=(TPgResult &&other) noexcept;
    TPgResult(const TPgResult &) = delete;
    TPgResult &operator=(const TPgResult &) = delete;

    int Rows() const;
    bool Null(int row, int col) const;
    std::string_view Text(int row, int col) const;
    std::int64_t Int(int row, int col) const;
    // The rows a DELETE, UPDATE or INSERT touched.
    std::int64_t Affected() const;

private:
    pg_result *result_;
};

using TPgParams = std::vector<std::optional<std::string>>;

// One connection to a PostgreSQL server, opened from a libpq URI. Passwords come only from libpq's own means
// (~/.pgpass, PGPASSWORD, a service file): a URI that holds one is refused. Every message names the server by
// its host or socket folder, port and database, never by the URI, so a password can never show.
class TPgConnection {
public:
    explicit TPgConnection(const std::string &uri);
    ~TPgConnection();
    TPgConnection(const TPgConnection &) = delete;
    TPgConnection &operator=(const TPgConnection &) = delete;

    // Refuses what is not a postgresql:// URI or holds a password, with the user's message.
    static void CheckUri(const std::string &uri);
    // Whether the text selects PostgreSQL at all (postgresql:// or postgres://).
    static bool IsPostgresUri(std::string_view uri);

    // "the PostgreSQL server at /run/postgresql port 5432, database invexa"
    const std::string &Server() const { return server_; }
    int BackendPid() const;

    // Runs one statement with text parameters (nullopt is NULL); a failure throws Failure's error.
    TPgResult Exec(const std::string &sql, const TPgParams &params = {});
    // A COPY ... FROM STDIN: starts it, sends data in pieces, ends it; an error aborts it and throws.
    void CopyIn(const std::string &sql);
    void CopyData(std::string_view data);
    void CopyEnd();

    // The user's message for a failure: what failed, on which server, and the server's reason.
    EInvexaError Failure(const std::string &what, const pg_result *result = nullptr) const;
    // Reads every pending result of the command sent last, abandoning a COPY still open; throws the first error.
    void Finish(const std::string &what);
    pg_conn *Raw() { return conn_; }

private:
    pg_conn *conn_ = nullptr;
    std::string server_;
};

// A transaction on one connection: rolled back unless committed, also when the connection is gone.
class TPgTransaction {
public:
    explicit TPgTransaction(TPgConnection &conn, const char *begin = "BEGIN");
    ~TPgTransaction();
    TPgTransaction(const TPgTransaction &) = delete;
    TPgTransaction &operator=(const TPgTransaction &) = delete;
    void Commit();

private:
    TPgConnection &conn_;
    bool open_ = true;
};

// Quotes texts as the elements of one PostgreSQL array literal, for a parameter of type text[].
std::string PgTextArray(const std::vector<std::string> &texts);
// The same for bigint[], nullopt as NULL.
std::string PgIntArray(const std::vector<std::optional<std::int64_t>> &values);

} // namespace invexa
