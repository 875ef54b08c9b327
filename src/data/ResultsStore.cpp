#include "data/ResultsStore.h"

#include "base/InvexaError.h"

namespace invexa {

void TResultsStore::Rethrow() const {
    try {
        throw;
    } catch (const EInvexaError &) {
        throw;
    } catch (const std::exception &e) {
        std::string text = Describe(e);
        if (text == e.what())
            throw;
        throw EInvexaError(text);
    }
}

} // namespace invexa
