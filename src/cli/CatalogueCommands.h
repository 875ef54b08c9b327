#pragma once
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace invexa {

struct TToolCommands;

// The commands catalogue, users and computers: counts and look-ups over the results table, printed as text,
// csv or json. Holds the parsed options, so it must outlive the parse and the action.
class TCatalogueCommands {
public:
    explicit TCatalogueCommands(TToolCommands &cmd) : cmd_(cmd) {}
    // Adds the three subcommands; the chosen one sets action.
    void Add(CLI::App &app, std::function<int()> &action);

    int Catalogue();
    int Users();
    int Computers();

private:
    TToolCommands &cmd_;
    std::string format_ = "text";
    bool versions_ = false;
    std::string filter_;
    std::vector<std::string> words_;
    std::optional<double> olderThanDays_;
};

} // namespace invexa
