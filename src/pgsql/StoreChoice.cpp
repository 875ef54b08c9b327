#include "pgsql/StoreChoice.h"

#include "base/InvexaError.h"
#include "data/results.h"
#include "pgsql/PgResultsStore.h"

#include <cstdlib>

namespace invexa {

std::string TStoreChoice::Uri(const std::optional<std::string> &option) {
    if (option)
        return *option;
    const char *value = std::getenv(Variable);
    return value ? value : "";
}

std::unique_ptr<TDataModule1> TStoreChoice::Open(const std::string &workDir, const std::string &uri) {
    auto dm = std::make_unique<TDataModule1>(workDir);
    if (uri.empty())
        return dm;
    // The text itself is not repeated: it may hold a password in a form no check here knows.
    if (!TPgConnection::IsPostgresUri(uri))
        throw EInvexaError("Unknown results store: give a postgresql:// URI, or none for " +
                           std::string(TResultsDatabase::FileName) + " in the working folder");
    dm->SetStore(std::make_unique<TPgResultsStore>(uri));
    return dm;
}

} // namespace invexa
