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
    pos_ = readTo_ = bufPos_ = bufLen_ = 0;
}

// Keeps the bytes not parsed yet and reads after them until the buffer is full or the file read whole.
void TResultsFile::Refill() {
    if (!buf_)
        buf_.reset(new char[static_cast<std::size_t>(bufSize_)]); // not zeroed: every byte used is read first
    bufLen_ -= bufPos_;
    std::memmove(buf_.get(), buf_.get() + bufPos_, static_cast<std::size_t>(bufLen_));
    bufPos_ = 0;
    // Reads stop at the size the file had when opened: what a scanner appends meanwhile is its next scan's.
    while (bufLen_ < bufSize_ && readTo_ < size_) {
        const std::int64_t want = std::min(bufSize_ - bufLen_, size_ - readTo_);
        const ssize_t n = ::read(fd_, buf_.get() + bufLen_, static_cast<std::size_t>(want));
        if (n < 0 && errno == EINTR)
            continue;
        // A failing read, or one that finds the end before the size known at the open, would make a shorter scan
        // of what the scanner wrote: the file is refused instead.
        if (n < 0)
            throw EInvexaError("Cannot read file " + Shown(path_) + ": " + std::strerror(errno));
        if (n == 0)
            throw EInvexaError("Cannot read file " + Shown(path_) + ": it became shorter while it was read");
        readTo_ += n;
        bufLen_ += n;
    }
}

// One text at p: a little-endian signed 32-bit length and as many bytes, cut at the first zero byte. False when
// the buffer ends before the text does and more of the file is still to be read. The file's end cuts a text
// short: missing bytes of a length read as a zero length, missing bytes of a text are left out.
bool TResultsFile::ParseText(const char *&p, const char *end, std::string_view &text) const {
    const bool last = readTo_ == size_;
    const char *at = p;
    std::int32_t n = 0;
    if (end - p >= 4) {
        const auto *b = reinterpret_cast<const unsigned char *>(p);
        n = static_cast<std::int32_t>(std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
                                      std::uint32_t(b[3]) << 24);
        p += 4;
    } else if (last) {
        p = end;
    } else {
        return false;
    }
    if (n < 0 || n > MaxTextLength)
        throw EInvexaError("Invalid scan data file " + Shown(path_) + ": text length " + std::to_string(n) +
                           " at offset " + std::to_string(readTo_ - (end - at)));
    if (end - p < n && !last)
        return false;
    const auto m = static_cast<std::size_t>(std::min<std::int64_t>(n, end - p));
    const char *nul = static_cast<const char *>(std::memchr(p, 0, m));
    text = std::string_view(p, nul ? static_cast<std::size_t>(nul - p) : m);
    p += m;
    return true;
}

// The record at the position, when the buffer holds it whole or the file ends in it.
bool TResultsFile::Parse(TRecordView &rec) {
    const char *p = buf_.get() + bufPos_, *end = buf_.get() + bufLen_;
    if (!ParseText(p, end, rec.AppMaker) || !ParseText(p, end, rec.AppName) || !ParseText(p, end, rec.Version))
        return false;
    if (p == end && readTo_ < size_)
        return false;
    rec.Verification = p < end ? static_cast<std::int8_t>(*p++) : 0;
    if (!ParseText(p, end, rec.AppPath))
        return false;
    const std::int64_t used = p - (buf_.get() + bufPos_);
    bufPos_ += used;
    pos_ += used;
    return true;
}

bool TResultsFile::ReadRecords(std::vector<TRecordView> &records) {
    records.clear();
    if (pos_ >= size_) {
        // Files stay open until their batch is committed: only the descriptor needs to stay.
        buf_.reset();
        bufPos_ = bufLen_ = 0;
        return false;
    }
    for (TRecordView rec; pos_ < size_;) {
        if (Parse(rec))
            records.push_back(rec);
        else if (records.empty())
            Refill(); // the views handed out so far point into the buffer
        else
            break;
    }
    return true;
}

std::int64_t TResultsFile::ReadRec(TResultsRec &rec) {
    const std::int64_t at = pos_;
    TRecordView view;
    while (!Parse(view))
        Refill();
    rec.AppMaker.assign(view.AppMaker);
    rec.AppName.assign(view.AppName);
    rec.Version.assign(view.Version);
    rec.Verification = view.Verification;
    rec.AppPath.assign(view.AppPath);
    if (pos_ >= size_) {
        buf_.reset();
        bufPos_ = bufLen_ = 0;
    }
    return pos_ - at;
}

} // namespace invexa
