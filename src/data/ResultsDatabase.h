#pragma once
#include "base/InvexaError.h"

#include <cstdint>
#include <memory>
#include <string>

namespace SQLite {
class Database;
class Exception;
} // namespace SQLite

namespace invexa {

// The SQLite file Results.sqlite in the working folder, holding the table Results. Opened on first use and
// held for the rest of the run; the program never creates it (invexa init does). One thread at a time uses an
// object of this class: a thread that reads on its own makes its own.
class TResultsDatabase {
public:
    static constexpr const char *FileName = "Results.sqlite";
    static constexpr const char *TableName = "Results";
    // How long a write waits for another program's lock before it fails.
    static constexpr int BusyTimeoutMs = 5000;

    explicit TResultsDatabase(std::string folder);
    ~TResultsDatabase();

    const std::string &Folder() const { return folder_; }
    std::string Path() const;

    // Opens the file (never creating it), checks the six columns and their types, adds the UserName index
    // when it is missing and the file is writable. Throws EInvexaError with the user-facing message.
    SQLite::Database &Connection();
    // A number that changes whenever another connection (another program) commits a change to the file, so that
    // whoever shows rows read earlier can tell that they may be out of date.
    std::int64_t DataVersion();
    // Another connection to the file, once Connection() has checked it, for one thread to read through:
    // read-only, without a lock of SQLite's own around each call (only that thread uses it).
    std::unique_ptr<SQLite::Database> OpenReader() const;

    // Creates the file with the empty table and its index; false (and nothing changed) when a table exists.
    static bool Create(const std::string &folder);

    // The error the user sees for a failure of SQLite on this file: a lock that another program held for the
    // whole wait is named as such; anything else names the file and SQLite's reason.
    EInvexaError Failure(const SQLite::Exception &e) const;
    // Throws the exception being handled in the user's words: a SQLite failure as Failure puts it, anything else
    // as it is. Every operation of the table, the query and the grid's rows ends its catch here, so that SQLite's
    // own errors never leave the core.
    [[noreturn]] void Rethrow() const;
    // The message the user sees for any error: SQLite's own as Failure puts them, any other as it stands.
    std::string Describe(const std::exception &e) const;

    // Test seams, set only by tests: the SQLite VFS every connection is opened through (empty: SQLite's
    // default), so that disk faults can be injected under the real code; and the wait for another program's
    // lock, so that a test of a held lock does not wait the full BusyTimeoutMs.
    static void SetVfsForTests(std::string name);
    static void SetBusyTimeoutForTests(int ms);

private:
    void CheckSchema();
    std::string folder_;
    std::unique_ptr<SQLite::Database> db_;
};

} // namespace invexa
