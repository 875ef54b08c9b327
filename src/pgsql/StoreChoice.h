#pragma once
#include <memory>
#include <optional>
#include <string>

namespace invexa {

class TDataModule1;

// Which results store a program works on, chosen by a URI: none gives Results.sqlite in the working folder; a
// postgresql:// (or postgres://) URI, in libpq's syntax, that PostgreSQL database. Both programs choose here.
class TStoreChoice {
public:
    // Read when no URI is given on the command line.
    static constexpr const char *Variable = "INVEXA_STORE";

    // The URI given on the command line, else the variable's, else empty.
    static std::string Uri(const std::optional<std::string> &option);
    // The working folder's data module with the chosen store; a PostgreSQL store is connected here, so that a
    // server that cannot be reached stops the program before it touches a file. Anything that is neither is
    // refused, and so is a URI that holds a password, saying where a password goes.
    static std::unique_ptr<TDataModule1> Open(const std::string &workDir, const std::string &uri);
};

} // namespace invexa
