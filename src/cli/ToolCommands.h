#pragma once
#include <memory>
#include <ostream>
#include <string>

namespace invexa {

class TDataModule1;

// What each invexa command does, on the working folder Dir and the results store Store (a URI; empty for
// Results.sqlite in Dir), through the same core calls as the window. Each returns the exit status; operation
// errors throw EInvexaError (or SQLite's exception).
struct TToolCommands {
    std::string Dir;
    std::string Store;
    std::ostream &Out;
    std::ostream &Err;
    bool Terminal = false;
    bool Quiet = false; // --quiet: warnings are dropped too, errors still show
    bool Json = false;  // --format json for merge and settings

    int Init();
    int Merge();
    int Export();
    int Settings();
    int Empty();
    int DeleteApp(const std::string &maker, const std::string &appName);
    int Demo(const std::string &folder);
    int CopyStore(const std::string &to);

    // The data module of Dir with the chosen store.
    std::unique_ptr<TDataModule1> Data() const;
};

} // namespace invexa
