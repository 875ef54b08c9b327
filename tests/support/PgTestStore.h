#pragma once
// The PostgreSQL store of a second run of the tool's and the window's tests, registered with the test server.
#include "pgsql/PgConnection.h"

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace invexa::test {

// When INVEXA_TEST_PG names the test server, the programs work on a schema of this process's own there, chosen by
// INVEXA_STORE as an administrator would; empty otherwise.
inline const std::string &PgTestStore() {
    static const std::string uri = [] {
        const char *server = std::getenv("INVEXA_TEST_PG");
        if (!server)
            return std::string();
        const std::string schema = "p" + std::to_string(::getpid());
        TPgConnection admin(server);
        admin.Exec("DROP SCHEMA IF EXISTS " + schema + " CASCADE");
        admin.Exec("CREATE SCHEMA " + schema);
        const std::string uri = std::string(server) + "&options=-csearch_path%3D" + schema;
        ::setenv("INVEXA_STORE", uri.c_str(), 1);
        return uri;
    }();
    return uri;
}

} // namespace invexa::test
