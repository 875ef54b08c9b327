#include "data/ResultsDatabase.h"

#include "base/Cp1252.h"
#include "base/InvexaError.h"
#include "base/PlainFile.h"
#include "data/CoalescingVfs.h"
#include "data/ScanTimes.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <vector>

namespace invexa {
namespace {

constexpr const char *CreateSql = "CREATE TABLE Results (UserName VARCHAR(16), AppMaker VARCHAR(32), "
                                  "AppName VARCHAR(32), Version VARCHAR(6), AppPath VARCHAR(255), "
                                  "Verification SMALLINT)";
constexpr const char *CreateIndexSql = "CREATE INDEX IF NOT EXISTS ResultsUserName ON Results(UserName)";

// The type name a declared column type stands for, in the words of the error message.
std::string TypeName(const std::string &declared) {
    std::string t = AsciiFolded(declared);
    if (t.find("int") != std::string::npos)
        return t.find("smallint") != std::string::npos ? "SmallInt"
               : t.find("bigint") != std::string::npos ? "LargeInt"
                                                       : "Integer";
    if (t.find("char") != std::string::npos || t.find("clob") != std::string::npos ||
        t.find("text") != std::string::npos)
        return "String";
    if (t.find("real") != std::string::npos || t.find("floa") != std::string::npos ||
        t.find("doub") != std::string::npos)
        return "Float";
    if (t.empty() || t.find("blob") != std::string::npos)
        return "Blob";
    return "Numeric";
}

// SQLite matches table names without regard to case (a table made as "results" is the same table), while
// SQLiteCpp's tableExists compares them exactly.
bool HasResultsTable(SQLite::Database &db) {
    SQLite::Statement st(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE");
    st.bind(1, TResultsDatabase::TableName);
    return st.executeStep();
}

void Configure(SQLite::Database &db) {
    // Rollback journal, never WAL: the folder is usually a network share, where WAL's shared memory is unsafe.
    // FULL sync makes each commit durable before the merge deletes the files it came from.
    db.exec("PRAGMA journal_mode=DELETE");
    db.exec("PRAGMA synchronous=FULL");
    // Debian builds SQLite with secure delete on, which writes every freed page out again, journal included:
    // a merge that replaces thousands of users would write the table twice. FAST still clears deleted rows
    // inside the pages they leave.
    db.exec("PRAGMA secure_delete=FAST");
}

// SQLite reads a journal it finds beside the table (a FIFO there would block it) and writes its own there.
void CheckJournal(const std::string &path) {
    RegularFileAt(path + "-journal", "Cannot use the results table's journal " + path + "-journal");
}

std::string &VfsName() {
    static std::string name;
    return name;
}
int busyTimeoutMs = TResultsDatabase::BusyTimeoutMs;

} // namespace

void TResultsDatabase::SetVfsForTests(std::string name) {
    VfsName() = std::move(name);
}
void TResultsDatabase::SetBusyTimeoutForTests(int ms) {
    busyTimeoutMs = ms;
}

EInvexaError TResultsDatabase::Failure(const SQLite::Exception &e) const {
    // SQLite's own words, "database is locked", name neither the file nor who holds it.
    int code = e.getErrorCode() & 0xFF;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        return EInvexaError("The results table " + Path() +
                            " is locked by another program; try again when it has finished");
    if (code == SQLITE_READONLY)
        return EInvexaError("The results table " + Path() + " is read-only; nothing was written to it");
    return EInvexaError("Error in the results table " + Path() + ": " + e.what());
}

void TResultsDatabase::Rethrow() const {
    try {
        throw;
    } catch (const SQLite::Exception &e) {
        throw Failure(e);
    }
}

std::string TResultsDatabase::Describe(const std::exception &e) const {
    if (const auto *sqlite = dynamic_cast<const SQLite::Exception *>(&e))
        return Failure(*sqlite).what();
    return e.what();
}

TResultsDatabase::TResultsDatabase(std::string folder) : folder_(std::move(folder)) {}
TResultsDatabase::~TResultsDatabase() = default;

std::string TResultsDatabase::Path() const {
    return (std::filesystem::path(folder_) / FileName).string();
}

SQLite::Database &TResultsDatabase::Connection() {
    if (db_)
        return *db_;
    std::string path = Path();
    const TPlainFile file = RegularFileAt(path, "Cannot open the results table " + path);
    CheckJournal(path);
    if (!file.Exists)
        throw EInvexaError("No results table in " + folder_ + ": 'invexa init' creates it");
    // A file marked read-only is opened for reading only, so that no write reaches it even for a user (root)
    // whom the system would let write anyway, as with the settings file and the export.
    const bool writable = (file.Stat.st_mode & 0222) != 0;
    std::unique_ptr<SQLite::Database> db;
    try {
        // One thread at a time uses a connection (background work opens its own), so SQLite need not lock it
        // around every call.
        db = std::make_unique<SQLite::Database>(path,
                                                (writable ? SQLite::OPEN_READWRITE : SQLite::OPEN_READONLY) |
                                                    SQLite::OPEN_NOFOLLOW | SQLite::OPEN_NOMUTEX,
                                                busyTimeoutMs, CoalescingVfs::Over(VfsName()));
        db->exec("PRAGMA cache_size=-32768");
        if (!HasResultsTable(*db))
            throw EInvexaError("No results table in " + folder_ + ": 'invexa init' creates it");
    } catch (const SQLite::Exception &e) {
        if ((e.getErrorCode() & 0xFF) == SQLITE_BUSY)
            throw Failure(e);
        throw EInvexaError("Cannot open the results table " + path + ": " + e.what());
    }
    db_ = std::move(db);
    try {
        CheckSchema();
        if (writable) {
            Configure(*db_);
            db_->exec(CreateIndexSql);
        }
    } catch (const SQLite::Exception &e) {
        db_.reset();
        throw Failure(e);
    } catch (...) {
        db_.reset();
        throw;
    }
    return *db_;
}

void TResultsDatabase::CheckSchema() {
    struct TExpected {
        const char *Name;
        const char *Type;
    };
    static constexpr TExpected Columns[] = {{"UserName", "String"}, {"AppMaker", "String"},
                                            {"AppName", "String"},  {"Version", "String"},
                                            {"AppPath", "String"},  {"Verification", "SmallInt"}};
    SQLite::Statement info(*db_, "SELECT name, type FROM pragma_table_info('Results')");
    std::vector<std::pair<std::string, std::string>> actual;
    while (info.executeStep())
        actual.emplace_back(AsciiFolded(info.getColumn(0).getString()), info.getColumn(1).getString());
    for (const TExpected &col : Columns) {
        auto it =
            std::find_if(actual.begin(), actual.end(), [&](const auto &a) { return a.first == AsciiFolded(col.Name); });
        if (it == actual.end())
            throw EInvexaError(std::string("Field '") + col.Name + "' not found");
        std::string type = TypeName(it->second);
        // Any integer type can hold the flag; the text columns need text affinity.
        bool ok = std::string(col.Type) == "SmallInt" ? AsciiFolded(it->second).find("int") != std::string::npos
                                                      : type == "String";
        if (!ok)
            throw EInvexaError(std::string("Type mismatch for field '") + col.Name + "', expecting: " + col.Type +
                               " actual: " + type);
    }
}

std::unique_ptr<SQLite::Database> TResultsDatabase::OpenReader() const {
    try {
        auto db = std::make_unique<SQLite::Database>(
            Path(), SQLite::OPEN_READONLY | SQLite::OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX, busyTimeoutMs, VfsName());
        // A reader that reads each page once needs few in its cache; a large cache only costs the faults of the
        // memory it fills (measured: a count of a million rows spent a third of its time so).
        db->exec("PRAGMA cache_size=-2048");
        return db;
    } catch (const SQLite::Exception &e) {
        throw Failure(e);
    }
}

std::int64_t TResultsDatabase::DataVersion() {
    return Connection().execAndGet("PRAGMA data_version").getInt64();
}

bool TResultsDatabase::Create(const std::string &folder) {
    std::string path = (std::filesystem::path(folder) / FileName).string();
    const TPlainFile file = RegularFileAt(path, "Cannot create the results table " + path);
    CheckJournal(path);
    const bool readOnly = file.Exists && (file.Stat.st_mode & 0222) == 0; // looked at, never written
    try {
        SQLite::Database db(path,
                            (readOnly ? SQLite::OPEN_READONLY : SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE) |
                                SQLite::OPEN_NOFOLLOW,
                            busyTimeoutMs, CoalescingVfs::Over(VfsName()));
        if (HasResultsTable(db))
            return false;
        Configure(db);
        SQLite::Transaction tx(db);
        db.exec(CreateSql);
        db.exec(CreateIndexSql);
        ScanTimes::Create(db);
        tx.commit();
        return true;
    } catch (const SQLite::Exception &e) {
        throw EInvexaError("Cannot create the results table " + path + ": " + e.what());
    }
}

} // namespace invexa
