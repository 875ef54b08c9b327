#include "pgsql/PgConnection.h"

#include <libpq-fe.h>

#include <charconv>
#include <memory>

namespace invexa {
namespace {

// libpq's messages span lines ("...failed: ...\n\tIs the server running...?"): one line is shown.
std::string Trimmed(const char *message) {
    std::string text;
    for (const char *c = message ? message : ""; *c; ++c) {
        const bool space = *c == '\n' || *c == '\t' || *c == ' ';
        if (!space)
            text += *c;
        else if (!text.empty() && text.back() != ' ')
            text += ' ';
    }
    if (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

const char *PasswordAdvice = "a PostgreSQL URI may not hold a password: put it in ~/.pgpass, in the PGPASSWORD "
                             "variable or in a service file (service=NAME in the URI)";

// user:password@ before the host, or a password parameter after it. Looked for in the text itself too, so that
// libpq's own message about a malformed URI, which may quote part of it, is never shown for such a URI.
bool HoldsPasswordText(std::string_view uri) {
    std::size_t start = uri.find("://");
    std::string_view rest = start == std::string_view::npos ? uri : uri.substr(start + 3);
    std::string_view authority = rest.substr(0, rest.find_first_of("/?"));
    std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos && authority.substr(0, at).find(':') != std::string_view::npos)
        return true;
    return uri.find("password=") != std::string_view::npos;
}

} // namespace

TPgResult::~TPgResult() {
    PQclear(result_);
}

TPgResult &TPgResult::operator=(TPgResult &&other) noexcept {
    if (this != &other) {
        PQclear(result_);
        result_ = other.result_;
        other.result_ = nullptr;
    }
    return *this;
}

int TPgResult::Rows() const {
    return PQntuples(result_);
}

bool TPgResult::Null(int row, int col) const {
    return PQgetisnull(result_, row, col) != 0;
}

std::string_view TPgResult::Text(int row, int col) const {
    return {PQgetvalue(result_, row, col), static_cast<std::size_t>(PQgetlength(result_, row, col))};
}

std::int64_t TPgResult::Int(int row, int col) const {
    std::string_view text = Text(row, col);
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::int64_t TPgResult::Affected() const {
    const char *n = PQcmdTuples(result_);
    std::int64_t value = 0;
    std::from_chars(n, n + std::char_traits<char>::length(n), value);
    return value;
}

bool TPgConnection::IsPostgresUri(std::string_view uri) {
    return uri.starts_with("postgresql://") || uri.starts_with("postgres://");
}

void TPgConnection::CheckUri(const std::string &uri) {
    if (!IsPostgresUri(uri))
        throw EInvexaError("Not a PostgreSQL URI (postgresql://...)");
    if (HoldsPasswordText(uri))
        throw EInvexaError(std::string("The store URI holds a password; ") + PasswordAdvice);
    char *error = nullptr;
    std::unique_ptr<PQconninfoOption, void (*)(PQconninfoOption *)> options(PQconninfoParse(uri.c_str(), &error),
                                                                            PQconninfoFree);
    if (!options) {
        std::string reason = Trimmed(error);
        PQfreemem(error);
        throw EInvexaError("Not a valid PostgreSQL URI: " + reason);
    }
    for (PQconninfoOption *o = options.get(); o->keyword; ++o)
        if (std::string_view(o->keyword) == "password" && o->val && *o->val)
            throw EInvexaError(std::string("The store URI holds a password; ") + PasswordAdvice);
}

TPgConnection::TPgConnection(const std::string &uri) {
    CheckUri(uri);
    // Keywords after dbname override the URI's own: the texts travel as UTF-8 whatever the URI or PGCLIENTENCODING
    // ask for.
    const char *keywords[] = {"dbname", "client_encoding", "application_name", nullptr};
    const char *values[] = {uri.c_str(), "UTF8", "invexa", nullptr};
    conn_ = PQconnectdbParams(keywords, values, 1);
    if (!conn_)
        throw EInvexaError("Cannot connect to the PostgreSQL server: out of memory");
    const char *host = PQhost(conn_);
    server_ = std::string("the PostgreSQL server at ") + (host && *host ? host : "localhost") + " port " +
              (PQport(conn_) ? PQport(conn_) : "") + ", database " + (PQdb(conn_) ? PQdb(conn_) : "");
    // The server's notices ("already exists, skipping") are not the user's business.
    PQsetNoticeProcessor(
        conn_, [](void *, const char *) {}, nullptr);
    if (PQstatus(conn_) != CONNECTION_OK) {
        std::string reason = Trimmed(PQerrorMessage(conn_));
        PQfinish(conn_);
        conn_ = nullptr;
        throw EInvexaError("Cannot connect to " + server_ + ": " + reason);
    }
}

TPgConnection::~TPgConnection() {
    PQfinish(conn_);
}

int TPgConnection::BackendPid() const {
    return PQbackendPID(conn_);
}

EInvexaError TPgConnection::Failure(const std::string &what, const pg_result *result) const {
    if (PQstatus(conn_) == CONNECTION_BAD)
        return EInvexaError(what + ": the connection to " + server_ + " was lost (" + Trimmed(PQerrorMessage(conn_)) +
                            ")");
    // The server's own sentence, without libpq's "ERROR:" and the lines of context after it.
    const char *primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    return EInvexaError(what + " on " + server_ + ": " + (primary ? primary : Trimmed(PQerrorMessage(conn_))));
}

TPgResult TPgConnection::Exec(const std::string &sql, const TPgParams &params) {
    std::vector<const char *> values;
    values.reserve(params.size());
    for (const auto &p : params)
        values.push_back(p ? p->c_str() : nullptr);
    PGresult *raw =
        PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0);
    TPgResult result(raw);
    ExecStatusType status = PQresultStatus(raw);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw Failure("Error in the results table", raw);
    return result;
}

void TPgConnection::CopyIn(const std::string &sql) {
    PGresult *raw = PQexec(conn_, sql.c_str());
    TPgResult result(raw);
    if (PQresultStatus(raw) != PGRES_COPY_IN)
        throw Failure("Cannot write to the results table", raw);
}

void TPgConnection::CopyData(std::string_view data) {
    if (PQputCopyData(conn_, data.data(), static_cast<int>(data.size())) != 1)
        throw Failure("Cannot write to the results table");
}

void TPgConnection::CopyEnd() {
    if (PQputCopyEnd(conn_, nullptr) != 1)
        throw Failure("Cannot write to the results table");
    Finish("Cannot write to the results table");
}

void TPgConnection::Finish(const std::string &what) {
    // Every result of the command is read, so that the connection is ready for the next one whatever happened.
    std::optional<EInvexaError> error;
    while (PGresult *raw = PQgetResult(conn_)) {
        TPgResult result(raw);
        ExecStatusType status = PQresultStatus(raw);
        if (status == PGRES_COPY_IN)
            PQputCopyEnd(conn_, "abandoned");
        else if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_SINGLE_TUPLE && !error)
            error = Failure(what, raw);
    }
    if (error)
        throw *error;
    if (PQstatus(conn_) == CONNECTION_BAD)
        throw Failure(what);
}

TPgTransaction::TPgTransaction(TPgConnection &conn, const char *begin) : conn_(conn) {
    conn_.Exec(begin);
}

TPgTransaction::~TPgTransaction() {
    if (!open_)
        return;
    // A COPY left half-sent is abandoned first; on a lost connection the server has rolled back already.
    try {
        if (PQtransactionStatus(conn_.Raw()) == PQTRANS_ACTIVE) {
            PQputCopyEnd(conn_.Raw(), "abandoned");
            conn_.Finish("Cannot roll back");
        }
        conn_.Exec("ROLLBACK");
    } catch (const EInvexaError &) {
    }
}

void TPgTransaction::Commit() {
    open_ = false;
    conn_.Exec("COMMIT");
}

std::string PgTextArray(const std::vector<std::string> &texts) {
    std::string out = "{";
    for (const std::string &text : texts) {
        if (out.size() > 1)
            out += ',';
        out += '"';
        for (char c : text) {
            if (c == '"' || c == '\\')
                out += '\\';
            out += c;
        }
        out += '"';
    }
    return out + "}";
}

std::string PgIntArray(const std::vector<std::optional<std::int64_t>> &values) {
    std::string out = "{";
    for (const auto &value : values) {
        if (out.size() > 1)
            out += ',';
        out += value ? std::to_string(*value) : "NULL";
    }
    return out + "}";
}

} // namespace invexa
