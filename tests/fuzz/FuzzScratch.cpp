#include "FuzzScratch.h"

#include "data/results.h"

#include <SQLiteCpp/Database.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace invexa {

TFuzzScratch &TFuzzScratch::Get() {
    static TFuzzScratch scratch;
    return scratch;
}

TFuzzScratch::TFuzzScratch() {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/invexa-fuzz-XXXXXX";
    FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
    folder_ = pattern;
    std::filesystem::create_directory(folder_ + "/ivx");
    FUZZ_CHECK(TResultsDatabase::Create(folder_));
    dm_ = std::make_unique<TDataModule1>(folder_);
    // Durability is the one thing not under test here, and a synced commit per input would make the merge
    // target a hundred times slower.
    dm_->database.Connection().exec("PRAGMA synchronous=OFF");
}

TFuzzScratch::~TFuzzScratch() {
    dm_.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

std::string TFuzzScratch::WriteDataFile(const std::string &name, const std::uint8_t *data, std::size_t size) const {
    std::string path = folder_ + "/ivx/" + name;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    FUZZ_CHECK(fd >= 0);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        FUZZ_CHECK(n > 0);
        done += static_cast<std::size_t>(n);
    }
    FUZZ_CHECK(::close(fd) == 0);
    return path;
}

} // namespace invexa
