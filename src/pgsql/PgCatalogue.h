#pragma once
#include "data/Catalogue.h"
#include "data/ScanTimes.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace invexa {

class TPgConnection;

// The catalogue's counts and look-ups on the PostgreSQL table, with the same results and order as TCatalogue's
// on SQLite. The server does the counting, each in one statement and so from one consistent state of the table;
// texts are UTF-8 as the table holds them, a missing text the same as an empty one.
class TPgCatalogue {
public:
    static TCatalogue::TCounts Count(TPgConnection &conn);
    static std::vector<std::string> Users(TPgConnection &conn, const std::string &maker, const std::string &appName,
                                          const std::optional<std::string> &version);
    static std::vector<TComputerLine> Computers(TPgConnection &conn);
    static std::map<std::string, ScanTimes::TTimes> Times(TPgConnection &conn);
};

} // namespace invexa
