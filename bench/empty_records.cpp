// Merges one scan data file of 2 GB of empty records and prints the time and the peak memory, which must stay
// far below the file's size. A sparse file of zeros is exactly such a file (every length 0, every flag 0), so
// it costs no disk. Usage: empty_records [FOLDER]   (default: a new folder under /tmp, removed afterwards)
#include "data/DataFileMerge.h"
#include "data/results.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>

using namespace invexa;
namespace fs = std::filesystem;

int main(int argc, char **argv) {
    std::string folder = argc > 1 ? argv[1] : "";
    const bool own = folder.empty();
    if (own) {
        std::string pattern = "/tmp/invexa-empty-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            return 1;
        folder = pattern;
    }
    fs::create_directories(folder + "/ivx");
    if (!TResultsDatabase::Create(folder)) {
        std::fprintf(stderr, "cannot create the results table in %s\n", folder.c_str());
        return 1;
    }
    constexpr std::int64_t Size = std::int64_t(2) << 30;
    const std::string file = folder + "/ivx/empty.ivx";
    std::ofstream(file, std::ios::binary).close();
    fs::resize_file(file, Size);

    TDataModule1 dm(folder);
    auto start = std::chrono::steady_clock::now();
    TMergeSummary s = TDataFileMerge(dm, folder).Run();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    SQLite::Statement count(dm.database.Connection(), "SELECT count(*) FROM Results WHERE UserName = 'empty'");
    count.executeStep();
    // 17 bytes a record; the last 2^31 mod 17 bytes form one more record, cut short.
    const std::int64_t expected = (Size + 16) / 17, rows = count.getColumn(0).getInt64();
    std::printf("%lld empty records merged in %.1f s, peak memory %ld MB (%s)\n", static_cast<long long>(rows), seconds,
                usage.ru_maxrss / 1024, s.Errors.empty() && rows == expected ? "all rows" : "ROWS MISSING");
    if (own)
        fs::remove_all(folder);
    return s.Errors.empty() && rows == expected ? 0 : 1;
}
