#include "data/RsltsLst.h"

#include "data/InvexaError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace invexa {

TResultsFile::TResultsFile(const std::string &path) : path_(path) {
    // Non-blocking, so that a FIFO named like a scan file is refused instead of waiting for a writer forever.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    // Opened "not shared": a scanner still writing the file holds it locked, and while we read it no scanner
    // may take it. Looked at again once locked: a file another administrator merged and deleted while we waited
    // for it is gone (no links left) and must not be merged a second time; its size is the final one.
    bool ok = fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd_, LOCK_EX | LOCK_NB) == 0 &&
              ::fstat(fd_, &st) == 0 && st.st_nlink > 0;
    if (!ok) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        throw EInvexaError("Cannot open file " + path);
    }
    size_ = st.st_size;
    // One byte more than the file, so that a file read whole needs no second call to see its end.
    bufSize_ = std::min<std::int64_t>(size_ + 1, MaxBuffer);
    buf_ = std::make_unique<char[]>(static_cast<std::size_t>(bufSize_));
}

TResultsFile::~TResultsFile() {
    if (fd_ >= 0)
        ::close(fd_); // also releases the lock
}

bool TResultsFile::StillNamedBy(const std::string &path) const {
    struct stat mine {}, named {};
    return ::fstat(fd_, &mine) == 0 && ::stat(path.c_str(), &named) == 0 && mine.st_dev == named.st_dev &&
           mine.st_ino == named.st_ino;
}

void TResultsFile::Rewind() {
    if (::lseek(fd_, 0, SEEK_SET) != 0)
        throw EInvexaError("Cannot read file " + path_);
    if (!buf_)
        buf_ = std::make_unique<char[]>(static_cast<std::size_t>(bufSize_));
    pos_ = bufPos_ = bufLen_ = 0;
}

bool TResultsFile::Fill() {
    if (!buf_)
        return false;
    ssize_t n;
    do {
        n = ::read(fd_, buf_.get(), static_cast<std::size_t>(bufSize_));
    } while (n < 0 && errno == EINTR);
    // A read error counts as no bytes delivered.
    bufPos_ = 0;
    bufLen_ = n > 0 ? n : 0;
    return bufLen_ > 0;
}

std::int64_t TResultsFile::Read(void *dst, std::int64_t n) {
    char *out = static_cast<char *>(dst);
    if (n <= bufLen_ - bufPos_) {
        // Most reads are small and lie inside the read-ahead buffer.
        std::memcpy(out, buf_.get() + bufPos_, static_cast<std::size_t>(n));
        bufPos_ += n;
        pos_ += n;
        return n;
    }
    std::int64_t done = 0;
    while (done < n) {
        if (bufPos_ == bufLen_ && !Fill())
            break;
        std::int64_t take = std::min(n - done, bufLen_ - bufPos_);
        std::memcpy(out + done, buf_.get() + bufPos_, static_cast<std::size_t>(take));
        bufPos_ += take;
        done += take;
    }
    pos_ += done;
    return done;
}

std::int64_t TResultsFile::ReadText(std::string &text) {
    std::int64_t at = pos_;
    unsigned char len[4] = {0, 0, 0, 0};
    std::int64_t got = Read(len, 4);
    // Little-endian signed 32-bit; bytes missing at the end of the file read as zero.
    std::int32_t n = static_cast<std::int32_t>(static_cast<std::uint32_t>(len[0]) | (std::uint32_t(len[1]) << 8) |
                                               (std::uint32_t(len[2]) << 16) | (std::uint32_t(len[3]) << 24));
    // A length item cut short by the end of the file has no text after it: the record is merely cut short,
    // whatever its stray bytes would mean as a number.
    if (got < 4)
        n = 0;
    if (n < 0 || n > MaxTextLength)
        throw EInvexaError("Invalid scan data file " + path_ + ": text length " + std::to_string(n) + " at offset " +
                           std::to_string(at));
    std::int64_t m = Read(text_, n);
    const char *end = static_cast<const char *>(std::memchr(text_, 0, static_cast<std::size_t>(m)));
    text.assign(text_, end ? static_cast<std::size_t>(end - text_) : static_cast<std::size_t>(m));
    return got + m;
}

std::int64_t TResultsFile::ReadRec(TResultsRec &rec) {
    std::int64_t total = ReadText(rec.AppMaker);
    total += ReadText(rec.AppName);
    total += ReadText(rec.Version);
    char flag = 0;
    std::int64_t got = Read(&flag, 1);
    rec.Verification = got == 1 ? static_cast<std::int8_t>(flag) : 0;
    total += got;
    total += ReadText(rec.AppPath);
    if (pos_ >= size_) {
        // Files stay open until their batch is committed: only the descriptor needs to stay.
        buf_.reset();
        bufPos_ = bufLen_ = 0;
    }
    return total;
}

} // namespace invexa
