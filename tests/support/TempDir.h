#pragma once
#include "base/InvexaError.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace invexa::test {

// The file's bytes; empty when it cannot be read.
std::string ReadFile(const std::string &path);

// A fresh, empty folder under base (the system's temporary folder unless told), removed with everything in it when
// the object goes out of scope. Each test makes its own, so tests never share a working folder.
class TTempDir {
public:
    explicit TTempDir(const std::string &base = std::filesystem::temp_directory_path().string());
    ~TTempDir();
    TTempDir(const TTempDir &) = delete;
    TTempDir &operator=(const TTempDir &) = delete;

    const std::string &Path() const { return path_; }
    std::string File(const std::string &name) const { return path_ + "/" + name; }
    void Write(const std::string &name, const std::string &bytes) const; // exactly these bytes, replacing the file
    std::string Read(const std::string &name) const { return ReadFile(File(name)); }
    bool Exists(const std::string &name) const { return std::filesystem::exists(File(name)); }

private:
    std::string path_;
};

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
