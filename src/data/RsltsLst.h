#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace invexa {

// One record of a scan data file. Texts are 8-bit bytes as the scanner wrote them.
struct TResultsRec {
    std::string AppMaker;
    std::string AppName;
    std::string Version;
    std::int8_t Verification = 0;
    std::string AppPath;
};

// Read-only stream over one scan data file, held with an exclusive lock while open so that a scanner still
// writing the file makes the open fail, and no scanner can open it meanwhile.
class TResultsFile {
public:
    static constexpr std::int32_t MaxTextLength = 201;

    // Throws EInvexaError "Cannot open file <path>".
    explicit TResultsFile(const std::string &path);
    ~TResultsFile();
    TResultsFile(const TResultsFile &) = delete;
    TResultsFile &operator=(const TResultsFile &) = delete;

    // Reads the record at the current position; returns the bytes consumed. A record cut short by the end of
    // the file is still returned (texts keep the bytes present, a missing flag reads 0). A length outside
    // 0..201 throws EInvexaError "Invalid scan data file <path>: text length <n> at offset <o>".
    std::int64_t ReadRec(TResultsRec &rec);

    // Goes back to the first record, to read the file again. Throws EInvexaError when the file cannot be read.
    void Rewind();

    std::int64_t Position() const { return pos_; }
    std::int64_t Size() const { return size_; }
    const std::string &Path() const { return path_; }
    // Identity of the open file, to check that the path still names it before deleting it.
    bool StillNamedBy(const std::string &path) const;

private:
    std::int64_t Read(void *buf, std::int64_t n);
    std::int64_t ReadText(std::string &text);
    bool Fill();

    std::string path_;
    int fd_ = -1;
    std::int64_t pos_ = 0;
    std::int64_t size_ = 0;
    // Read-ahead buffer, sized to the file up to a limit: a merge reads thousands of small files record by
    // record, most of them in one system call. Freed once the whole file has been read.
    static constexpr std::int64_t MaxBuffer = 65536;
    std::unique_ptr<char[]> buf_;
    std::int64_t bufSize_ = 0;
    std::int64_t bufPos_ = 0;
    std::int64_t bufLen_ = 0;
    char text_[MaxTextLength];
};

} // namespace invexa
