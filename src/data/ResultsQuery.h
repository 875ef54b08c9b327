#pragma once
#include <memory>
#include <string_view>

namespace SQLite {
class Database;
class Statement;
} // namespace SQLite

namespace invexa {

class TResultsDatabase;

// The SQL object that runs the two DELETE statements. Values are always bound, never spliced into the text,
// so a name holding quotes or SQL removes only the rows that equal it.
class TResultsQuery {
public:
    explicit TResultsQuery(TResultsDatabase &db);
    ~TResultsQuery();
    // Replaces a user's rows: removes every row whose UserName equals the name as stored (cut to 16).
    // Returns the number of rows removed.
    int DeleteUser(std::string_view userName);
    // Removes every row whose AppMaker and AppName equal the two values.
    int DeleteApplication(std::string_view maker, std::string_view appName);

private:
    TResultsDatabase &db_;
    // The merge replaces thousands of users in one pass: its statement is prepared once per connection.
    SQLite::Database *deleteUserDb_ = nullptr;
    std::unique_ptr<SQLite::Statement> deleteUser_;
};

} // namespace invexa
