#include "export/CsvExport.h"

#include "base/Cp1252.h"
#include "base/InvexaError.h"
#include "base/PlainFile.h"
#include "data/ResultsStore.h"
#include "data/ResultsTable.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace invexa {
namespace {

// Short names for the common I/O failures; anything else in the system's words.
std::string IoMessage(int err) {
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EISDIR:
        return "File access denied";
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return "Disk full";
    case ENOENT:
        return "Path not found";
    default:
        return std::string("I/O error: ") + std::strerror(err);
    }
}

// The export's output. Anyone who can write the folder may have planted something at the file's name, so only a
// regular file is written, never through a link. The rows go to a new file beside it, which replaces the old one
// only once it is complete and on disk: an export that fails leaves the previous one whole. The new file keeps
// the old one's mode, owner and group; when it cannot be given them (another user's file) or cannot be made (a
// folder the user may not write), the old file is rewritten in place, as far as the system lets this user write it.
class TOutFile {
public:
    explicit TOutFile(const std::string &path) : path_(path) {
        const TPlainFile old = RegularFileAt(path, "Cannot write " + path);
        // A file marked read-only is refused even for a user (root) whom the system would let write anyway, as
        // the settings file is: the mark says the old export must stay.
        if (old.Exists && (old.Stat.st_mode & 0222) == 0)
            throw EInvexaError(IoMessage(EACCES));
        if (!OpenTemporary(old))
            OpenInPlace();
    }
    ~TOutFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!temp_.empty())
            ::unlink(temp_.c_str());
    }
    void Write(const char *data, std::size_t size) {
        std::size_t done = 0;
        while (done < size) {
            ssize_t n = ::write(fd_, data + done, size - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw EInvexaError(IoMessage(n < 0 ? errno : ENOSPC));
            done += static_cast<std::size_t>(n);
        }
        written_ += static_cast<off_t>(done);
        // Starts writing out what is written so far while the rows are still being read, so that the sync at the
        // end has little left to wait for.
        constexpr off_t Flush = 8 << 20;
        if (written_ - flushed_ >= Flush) {
            ::sync_file_range(fd_, flushed_, written_ - flushed_, SYNC_FILE_RANGE_WRITE);
            flushed_ = written_;
        }
    }
    void Close() {
        if (::fsync(fd_) != 0)
            throw EInvexaError(IoMessage(errno));
        int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            throw EInvexaError(IoMessage(errno));
        if (temp_.empty())
            return;
        if (::rename(temp_.c_str(), path_.c_str()) != 0)
            throw EInvexaError(IoMessage(errno));
        temp_.clear();
        // The new name on disk too, so that a crash cannot bring the old export back.
        int dir = ::open(Folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }

private:
    std::string Folder() const {
        std::string folder = std::filesystem::path(path_).parent_path().string();
        return folder.empty() ? "." : folder;
    }
    // False when the new file cannot be made or given the old file's owner and group: then the old file is
    // written in place.
    bool OpenTemporary(const TPlainFile &old) {
        const std::filesystem::path name = std::filesystem::path(path_).filename();
        for (int attempt = 0; fd_ < 0; ++attempt) {
            temp_ = (std::filesystem::path(Folder()) /
                     ("." + name.string() + "." + std::to_string(::getpid()) + "." + std::to_string(attempt) + ".tmp"))
                        .string();
            fd_ = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd_ < 0 && (errno != EEXIST || attempt == 100)) {
                int err = errno;
                temp_.clear();
                if (old.Exists && (err == EACCES || err == EPERM))
                    return false;
                throw EInvexaError(IoMessage(err));
            }
        }
        if (!old.Exists)
            return true;
        struct stat st {};
        bool kept = ::fstat(fd_, &st) == 0 &&
                    ((st.st_uid == old.Stat.st_uid && st.st_gid == old.Stat.st_gid) ||
                     ::fchown(fd_, old.Stat.st_uid, old.Stat.st_gid) == 0) &&
                    ::fchmod(fd_, old.Stat.st_mode & 07777) == 0;
        if (kept)
            return true;
        ::close(fd_);
        fd_ = -1;
        ::unlink(temp_.c_str());
        temp_.clear();
        return false;
    }
    void OpenInPlace() {
        TOpenedFile file = OpenRegular(path_, O_WRONLY);
        if (file.Found == EFound::NotRegular)
            throw EInvexaError(NotRegularMessage("Cannot write " + path_, file.Stat));
        if (file.Found != EFound::Regular)
            throw EInvexaError(IoMessage(file.Error));
        fd_ = file.Fd.Release();
        if (::ftruncate(fd_, 0) != 0)
            throw EInvexaError(IoMessage(errno));
    }

    std::string path_, temp_;
    int fd_ = -1;
    off_t written_ = 0, flushed_ = 0;
};

char *Quoted(char *out, std::string_view utf8) {
    *out++ = '"';
    out = CopyUtf8AsCp1252(out, utf8);
    *out++ = '"';
    return out;
}

// The lines on their way to the file, written out a megabyte at a time.
class TLines {
public:
    explicit TLines(TOutFile &file) : file_(file), data_(new char[Capacity]), capacity_(Capacity) {}
    void Add(const TStoredRow &row) {
        // Quotes, commas, the line's end and the longest integer besides the texts, which get no longer as 8-bit.
        std::size_t most = 40;
        for (std::string_view text : row.Texts)
            most += text.size();
        Room(most);
        char *out = data_.get() + size_;
        for (int i = 0; i < 4; ++i) {
            out = Quoted(out, row.Texts[i]);
            *out++ = ',';
        }
        out = std::to_chars(out, out + 20, row.Verification).ptr;
        *out++ = ',';
        out = Quoted(out, row.Texts[4]);
        *out++ = '\r';
        *out++ = '\n';
        size_ = static_cast<std::size_t>(out - data_.get());
        if (size_ >= Chunk)
            Flush();
    }
    void Flush() {
        file_.Write(data_.get(), size_);
        size_ = 0;
    }

private:
    static constexpr std::size_t Chunk = 1 << 20, Capacity = Chunk + (64 << 10);
    void Room(std::size_t bytes) {
        if (capacity_ - size_ >= bytes)
            return;
        Flush();
        if (capacity_ < bytes) { // a text another program stored, longer than any column
            data_.reset(new char[bytes]);
            capacity_ = bytes;
        }
    }
    TOutFile &file_;
    std::unique_ptr<char[]> data_;
    std::size_t capacity_, size_ = 0;
};

long long Write(const std::string &path,
                const std::function<void(const std::function<void(const TStoredRow &)> &)> &walk) {
    TOutFile file(path);
    TLines lines(file);
    long long rows = 0;
    walk([&](const TStoredRow &row) {
        lines.Add(row);
        ++rows;
    });
    lines.Flush();
    file.Close();
    return rows;
}

} // namespace

long long CsvExport::Export(TResultsTable &table, const std::string &path) {
    return Write(path, [&](const auto &visit) { table.WalkStored(visit); });
}

long long CsvExport::Export(TResultsStore &store, const std::string &path) {
    return Write(path, [&](const auto &visit) { store.WalkStored(visit); });
}

} // namespace invexa
