#pragma once
#include "data/Progress.h"

#include <cstdint>
#include <string>
#include <vector>

namespace invexa {

class TDataModule1;

struct TMergedFile {
    std::string FileName; // without its folder
    std::string UserName; // as stored (cut to 16)
    std::int64_t Records = 0;
};

struct TMergeSummary {
    std::string DataFolder;
    std::vector<TMergedFile> Merged;
    // One message per scan file left in place, each naming its file.
    std::vector<std::string> Errors;
    std::int64_t Records() const;
};

// The start-up merge pass: every scan data file of the data folder (WorkDir/ivx when that folder exists, else
// WorkDir) replaces its user's rows and is deleted, in name order. Files share commits, and a file is deleted
// only after its rows are durably committed, so a crash at any instant neither loses nor duplicates a row.
// A file that cannot be opened or is malformed is left in place and reported in Errors; errors of the table
// itself end the pass with an exception. The table is open afterwards.
class TDataFileMerge {
public:
    TDataFileMerge(TDataModule1 &dm, std::string workDir, IProgress *progress = nullptr);
    TMergeSummary Run();

    // The folder searched for data files.
    static std::string DataFolder(const std::string &workDir);
    // Data files of a folder, in merge order (names compared case-insensitively, ties by bytes).
    static std::vector<std::string> DataFileNames(const std::string &folder);
    // The user a data file belongs to: its name without the last four characters.
    static std::string UserNameOf(const std::string &fileName);

    // Commit after this many files or rows, whichever comes first. Each commit waits for the disk, so a pass
    // over thousands of files commits a few times only. The files of a batch stay open (and locked) until
    // their commit, so the open-file limit may lower the file count.
    static constexpr int BatchFiles = 1000;
    static constexpr std::int64_t BatchRows = 100000;
    // How many files a batch may hold open under this process's open-file limit (raised when it can be).
    static int BatchFileLimit();

private:
    TDataModule1 &dm_;
    std::string workDir_;
    IProgress *progress_;
};

} // namespace invexa
