#pragma once
#include "base/InvexaError.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace invexa::test {

// A fresh, empty folder under the system's temporary folder, removed with everything in it when the object
// goes out of scope. Each test makes its own, so tests never share a working folder.
class TTempDir {
public:
    TTempDir();
    // Under base instead (for example a memory file system, where a test of many saves does not wait for the
    // disk at each sync).
    explicit TTempDir(const std::string &base);
    ~TTempDir();
    TTempDir(const TTempDir &) = delete;
    TTempDir &operator=(const TTempDir &) = delete;

    const std::string &Path() const { return path_; }
    // Path() + "/" + name.
    std::string File(const std::string &name) const;
    // Writes bytes exactly as given (binary), replacing the file.
    void Write(const std::string &name, const std::string &bytes) const;
    // The file's bytes; throws std::runtime_error when it cannot be read.
    std::string Read(const std::string &name) const;
    bool Exists(const std::string &name) const;

private:
    std::string path_;
};

// The file's bytes; empty when it cannot be read.
std::string ReadFile(const std::string &path);

// The message of the EInvexaError that f throws; fails the test when it throws nothing.
inline std::string ErrorOf(const std::function<void()> &f) {
    try {
        f();
    } catch (const EInvexaError &e) {
        return e.what();
    }
    ADD_FAILURE() << "no EInvexaError thrown";
    return {};
}

} // namespace invexa::test
