#include "support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace invexa::test {

TTempDir::TTempDir(const std::string &base) : path_((std::filesystem::path(base) / "invexa-test-XXXXXX").string()) {
    if (mkdtemp(path_.data()) == nullptr)
        throw std::runtime_error("Unable to create a temporary folder in " + base);
}

TTempDir::~TTempDir() {
    // A test may have taken the write permission away; give it back so the folder can be removed.
    std::error_code ec;
    const auto all = std::filesystem::perms::owner_all;
    std::filesystem::permissions(path_, all, std::filesystem::perm_options::add, ec);
    for (const auto &entry : std::filesystem::recursive_directory_iterator(path_, ec))
        std::filesystem::permissions(entry.path(), all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void TTempDir::Write(const std::string &name, const std::string &bytes) const {
    std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        throw std::runtime_error("Unable to write " + File(name));
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace invexa::test
