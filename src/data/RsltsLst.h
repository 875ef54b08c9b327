#pragma once
#include "base/InvexaError.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace invexa {

// One record of a scan data file. Texts are 8-bit bytes as the scanner wrote them.
struct TResultsRec {
    std::string AppMaker;
    std::string AppName;
    std::string Version;
    std::int8_t Verification = 0;
    std::string AppPath;
};

// One record as it lies in the file's bytes: the same texts as TResultsRec's, without copying them.
struct TRecordView {
    std::string_view AppMaker, AppName, Version, AppPath;
    std::int8_t Verification = 0;
};

// The process has no descriptor left (EMFILE) or the system none (ENFILE): not a fault of the file.
class EOutOfFiles : public EInvexaError {
public:
    EOutOfFiles(const std::string &message, int error) : EInvexaError(message), Errno(error) {}
    int Errno;
};

// Read-only stream over one scan data file, held with an exclusive lock while open so that a scanner still
// writing the file makes the open fail, and no scanner can open it meanwhile. Only a regular file is read, and
// never through a symbolic link.
class TResultsFile {
public:
    static constexpr std::int32_t MaxTextLength = 201;

    // Throws EInvexaError "Cannot open file <path>", with the reason when it is a symbolic link or not a regular
    // file; EOutOfFiles when no descriptor is left.
    explicit TResultsFile(const std::string &path);
    ~TResultsFile();
    TResultsFile(const TResultsFile &) = delete;
    TResultsFile &operator=(const TResultsFile &) = delete;

    // Reads the record at the current position; returns the bytes consumed. A record cut short by the end of
    // the file is still returned (texts keep the bytes present, a missing flag reads 0). A length outside
    // 0..201 throws EInvexaError "Invalid scan data file <path>: text length <n> at offset <o>"; a read that
    // fails, or a file that became shorter than it was when opened, throws "Cannot read file <path>: ...".
    std::int64_t ReadRec(TResultsRec &rec);
    // Reads on and puts into `records` every record from the position on that lies whole in the read-ahead
    // buffer, the record cut short by the file's end included; false at the end of the file. The views hold until
    // the next read. A file of up to MaxBuffer bytes comes in one call, read and checked whole. Errors as ReadRec's.
    bool ReadRecords(std::vector<TRecordView> &records);

    // Goes back to the first record, to read the file again. Throws EInvexaError when the file cannot be read.
    void Rewind();

    std::int64_t Position() const { return pos_; }
    std::int64_t Size() const { return size_; }
    const std::string &Path() const { return path_; }
    // The file's modification time when it was opened, in seconds since 1970 UTC.
    std::int64_t ModifiedTime() const { return read_.st_mtim.tv_sec; }

    enum class EDelete {
        Deleted,
        Changed, // the file or the file its path names is no longer what was read: left for the next merge
        InUse,   // the file is open for writing (only known where a lease can be had): left
        Gone,    // nothing is named by the path any more
        Failed,  // the deletion itself failed (a read-only folder): left
    };
    // Deletes the file at its path only if the path still names the file that was opened and the file is still
    // exactly what was read: same device, inode, size, and modification and change times to the nanosecond.
    // Where the system grants a lease (the file's owner, or CAP_LEASE), one is held for the moment of the check
    // and the deletion, so a file that another program has open for writing, or opens so meanwhile, is left.
    EDelete DeleteIfUnchanged();

    // Files up to this size are read in one piece; larger ones a piece of this size at a time.
    static constexpr std::int64_t MaxBuffer = 1 << 20;

private:
    bool Parse(TRecordView &rec);
    bool ParseText(const char *&p, const char *end, std::string_view &text) const;
    void Refill();

    std::string path_;
    int fd_ = -1;
    std::int64_t pos_ = 0;
    std::int64_t size_ = 0;
    struct stat read_ {}; // the file as it was read
    // Read-ahead buffer, sized to the file up to MaxBuffer: a merge reads thousands of small files, each in one
    // system call, and parses their records where they lie. Freed once the whole file has been read.
    std::unique_ptr<char[]> buf_;
    std::int64_t bufSize_ = 0;
    std::int64_t readTo_ = 0; // the descriptor's offset, where the buffer's bytes end
    std::int64_t bufPos_ = 0;
    std::int64_t bufLen_ = 0;
};

} // namespace invexa
