#pragma once
#include <stdexcept>
#include <string>

namespace invexa {

// Every failure the user sees is one of these; what() is the exact text of the error box or of the tool's
// stderr line.
class EInvexaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An entry the setup page refuses ("You must enter ..."): shown in an "ERROR" box, not the error box.
class ERefusal : public EInvexaError {
public:
    using EInvexaError::EInvexaError;
};

} // namespace invexa
