#include "data/ResultsQuery.h"

#include "base/Cp1252.h"
#include "data/ResultRow.h"
#include "data/ResultsDatabase.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace invexa {

TResultsQuery::TResultsQuery(TResultsDatabase &db) : db_(db) {}
TResultsQuery::~TResultsQuery() = default;

int TResultsQuery::DeleteUser(std::string_view userName) {
    // The name is compared as the table stores it: a long name was cut to the column's width when its rows
    // were appended, so the whole name would never match them again.
    std::string stored = Cp1252ToUtf8(CutToWidth(userName, FieldWidth(TField::UserName)));
    SQLite::Database &db = db_.Connection();
    if (!deleteUser_ || deleteUserDb_ != &db) {
        deleteUser_ = std::make_unique<SQLite::Statement>(db, "DELETE FROM Results WHERE UserName = ?");
        deleteUserDb_ = &db;
    }
    deleteUser_->reset();
    deleteUser_->bind(1, stored);
    return deleteUser_->exec();
}

int TResultsQuery::DeleteApplication(std::string_view maker, std::string_view appName) try {
    SQLite::Statement st(db_.Connection(),
                         "DELETE FROM Results WHERE COALESCE(AppMaker, '') = ? AND COALESCE(AppName, '') = ?");
    st.bind(1, Cp1252ToUtf8(maker));
    st.bind(2, Cp1252ToUtf8(appName));
    return st.exec();
} catch (...) {
    db_.Rethrow();
}

} // namespace invexa
