#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace invexa::test {

TTempDir::TTempDir() : TTempDir(std::filesystem::temp_directory_path().string()) {}

TTempDir::TTempDir(const std::string &base) {
    std::string pattern = (std::filesystem::path(base) / "invexa-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
        throw std::runtime_error("Unable to create a temporary folder from " + pattern);
    path_ = buffer.data();
}

TTempDir::~TTempDir() {
    // A test may have taken the write permission away; give it back so the folder can be removed.
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    for (const auto &entry : std::filesystem::recursive_directory_iterator(path_, ec))
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string TTempDir::File(const std::string &name) const {
    return path_ + "/" + name;
}

void TTempDir::Write(const std::string &name, const std::string &bytes) const {
    std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("Unable to write " + File(name));
}

std::string TTempDir::Read(const std::string &name) const {
    if (!Exists(name))
        throw std::runtime_error("Unable to read " + File(name));
    return ReadFile(File(name));
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TTempDir::Exists(const std::string &name) const {
    return std::filesystem::exists(File(name));
}

} // namespace invexa::test
