#include "data/RsltsLst.h"

#include "base/Cp1252.h"
#include "base/PlainFile.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace invexa {

TResultsFile::TResultsFile(const std::string &path) : path_(path) {
    // Non-blocking, so that a FIFO named like a scan file is refused instead of waiting for a writer forever; not
    // through a link, which anyone who can write the folder may point at any file the administrator can read.
    TOpenedFile file = OpenRegular(path, O_RDONLY);
    struct stat st = file.Stat;
    // Opened "not shared": a scanner still writing the file holds it locked, and while we read it no scanner
    // may take it. Looked at again once locked: a file another administrator merged and deleted while we waited
    // for it is gone (no links left) and must not be merged a second time; its size is the final one.
    if (file.Found != EFound::Regular || ::flock(file.Fd.Get(), LOCK_EX | LOCK_NB) != 0 ||
        ::fstat(file.Fd.Get(), &st) != 0 || st.st_nlink == 0) {
        const std::string refused = "Cannot open file " + Shown(path);
        if (file.Error == EMFILE || file.Error == ENFILE)
            throw EOutOfFiles(refused + ": " + std::strerror(file.Error), file.Error);
        if (file.Found == EFound::Link)
            throw EInvexaError(refused + ": it is a symbolic link");
        if (file.Found == EFound::NotRegular)
            throw EInvexaError(refused + ": it is not a regular file");
        throw EInvexaError(refused);
    }
    fd_ = file.Fd.Release();
    read_ = st;
    size_ = st.st_size;
    bufSize_ = std::max<std::int64_t>(1, std::min<std::int64_t>(size_, MaxBuffer));
    buf_ = std::make_unique<char[]>(static_cast<std::size_t>(bufSize_));
}

TResultsFile::~TResultsFile() {
    if (fd_ >= 0)
        ::close(fd_); // also releases the lock
}

TResultsFile::EDelete TResultsFile::DeleteIfUnchanged() {
    // A read lease is granted only while no descriptor of the file is open for writing on this machine, and any
    // open for writing or truncation after that breaks it, which F_GETLEASE then shows. (A write lease would
    // also be refused for readers: a second administrator's merge trying the file, a backup, a virus scanner;
    // none of them can change the scan.) Its break is signalled with SIGURG, ignored by default, instead of
    // SIGIO, which would end the process; the signal is set before each lease, since letting a lease go resets
    // it. Not the owner (EACCES) or no leases on this file system (EINVAL): the checks of the file's identity,
    // size and times still apply.
    bool leased = false;
    if (::fcntl(fd_, F_SETSIG, SIGURG) == 0) {
        leased = ::fcntl(fd_, F_SETLEASE, F_RDLCK) == 0;
        if (!leased && errno == EAGAIN)
            return EDelete::InUse;
    }
    struct stat now {};
    struct stat named {};
    auto same = [](const timespec &a, const timespec &b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; };
    EDelete result;
    if (::lstat(path_.c_str(), &named) != 0)
        result = errno == ENOENT ? EDelete::Gone : EDelete::Failed;
    else if (::fstat(fd_, &now) != 0 || named.st_dev != read_.st_dev || named.st_ino != read_.st_ino ||
             now.st_size != read_.st_size || !same(now.st_mtim, read_.st_mtim) || !same(now.st_ctim, read_.st_ctim))
        result = EDelete::Changed;
    else if (leased && ::fcntl(fd_, F_GETLEASE) != F_RDLCK)
        result = EDelete::InUse; // opened for writing since the lease was granted
    else if (::unlink(path_.c_str()) == 0)
        result = EDelete::Deleted;
    else
        result = errno == ENOENT ? EDelete::Gone : EDelete::Failed;
    if (leased)
        ::fcntl(fd_, F_SETLEASE, F_UNLCK);
    return result;
}

void TResultsFile::Rewind() {
    if (::lseek(fd_, 0, SEEK_SET) != 0)
        throw EInvexaError("Cannot read file " + Shown(path_) + ": " + std::strerror(errno));
    if (!buf_)
        buf_ = std::make_unique<char[]>(static_cast<std::size_t>(bufSize_));
    pos_ = readTo_ = bufPos_ = bufLen_ = 0;
}

bool TResultsFile::Fill() {
    // Reads stop at the size the file had when opened: what a scanner appends meanwhile is its next scan's.
    const std::int64_t want = std::min(bufSize_, size_ - readTo_);
    if (!buf_ || want <= 0)
        return false;
    ssize_t n;
    do {
        n = ::read(fd_, buf_.get(), static_cast<std::size_t>(want));
    } while (n < 0 && errno == EINTR);
    // A failing read, or one that finds the end before the size known at the open, would make a shorter scan of
    // what the scanner wrote: the file is refused instead.
    if (n < 0)
        throw EInvexaError("Cannot read file " + Shown(path_) + ": " + std::strerror(errno));
    if (n == 0)
        throw EInvexaError("Cannot read file " + Shown(path_) + ": it became shorter while it was read");
    readTo_ += n;
    bufPos_ = 0;
    bufLen_ = n;
    return true;
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
        throw EInvexaError("Invalid scan data file " + Shown(path_) + ": text length " + std::to_string(n) +
                           " at offset " + std::to_string(at));
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
