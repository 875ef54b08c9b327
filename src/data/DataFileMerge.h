#pragma once
#include "base/Progress.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace invexa {

class TDataModule1;
class TFileRemover;
class TScanFilePass;

struct TMergedFile {
    std::string FileName; // without its folder
    std::string UserName; // as stored (cut to 16)
    std::int64_t Records = 0;
};

struct TMergeSummary {
    std::string DataFolder;
    std::vector<TMergedFile> Merged;
    // One message per scan file left in place, each naming its file; one message may stand for all the files
    // after the one where the pass stopped.
    std::vector<std::string> Errors;
    std::int64_t Left = 0; // scan files left in place
    std::int64_t Deleted = 0;
    // Files merged to one stored user name, the last one's rows replacing the others'.
    std::vector<std::string> Warnings;
    std::int64_t Records() const;
};

// The start-up merge pass, into any store: every scan data file of the data folder (WorkDir/ivx when that folder
// exists, else WorkDir) replaces its user's rows and is deleted, in name order. Files share commits, and a file is
// deleted only after its rows are durably committed, so a crash at any instant neither loses nor duplicates a row. A
// file that cannot be opened or is malformed is left in place and reported in Errors; errors of the table itself end
// the pass with an exception, whose message says how many files were merged and deleted before. Messages show file
// names with their control characters escaped. The table is open afterwards.
class TDataFileMerge {
public:
    // The pass into one store over the listed files of the held folder, made when the pass starts.
    using TNewPass =
        std::function<std::unique_ptr<TScanFilePass>(TMergeSummary &, TFileRemover &, std::vector<std::string>)>;
    // The message for an error of the store, as its user sees it.
    using TDescribe = std::function<std::string(const std::exception &)>;

    // Into Results.sqlite, through the data module's table.
    TDataFileMerge(TDataModule1 &dm, std::string workDir, IProgress *progress = nullptr);
    TDataFileMerge(TNewPass newPass, TDescribe describe, std::string workDir, IProgress *progress = nullptr);
    TMergeSummary Run();

    // Runs on the deleting thread with each merged file's path between the commit of its rows and the check
    // that decides its deletion: a test changes the file there.
    std::function<void(const std::string &path)> BeforeDelete;

    // The folder searched for data files.
    static std::string DataFolder(const std::string &workDir);
    // Data files of a folder, in merge order (names compared case-insensitively, ties by bytes).
    static std::vector<std::string> DataFileNames(const std::string &folder);
    // The user a data file belongs to: its name without the last four characters.
    static std::string UserNameOf(const std::string &fileName);
    // Whether that user name is the file's name exactly: false for a UTF-8 name with characters Windows-1252
    // lacks, which the scanners' 8-bit text cannot hold and which would all become '?'.
    static bool UserNameFits(const std::string &fileName);

    // Commit after this many files or rows, whichever comes first. Each commit waits for the disk, so a pass
    // over thousands of files commits a few times only. The files of a batch stay open (and locked) until
    // their commit, so the open-file limit may lower the file count.
    static constexpr int BatchFiles = 1000;
    static constexpr std::int64_t BatchRows = 100000;
    // How many files a batch may hold open under this process's open-file limit (raised when it can be).
    static int BatchFileLimit();

private:
    void Pass(TMergeSummary &summary, TFileRemover &remover);

    TNewPass newPass_;
    TDescribe describe_;
    std::string workDir_;
    IProgress *progress_;
};

} // namespace invexa
