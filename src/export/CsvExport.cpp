#include "export/CsvExport.h"

#include "base/InvexaError.h"
#include "base/PlainFile.h"
#include "data/ResultsTable.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
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
    void Write(std::string &buf) {
        std::size_t done = 0;
        while (done < buf.size()) {
            ssize_t n = ::write(fd_, buf.data() + done, buf.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw EInvexaError(IoMessage(n < 0 ? errno : ENOSPC));
            done += static_cast<std::size_t>(n);
        }
        written_ += static_cast<off_t>(done);
        buf.clear();
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

void AppendQuoted(std::string &out, const std::string &text) {
    out.push_back('"');
    out += text;
    out.push_back('"');
}

} // namespace

void CsvExport::AppendLine(std::string &out, const TResultRow &row) {
    AppendQuoted(out, row.UserName);
    out.push_back(',');
    AppendQuoted(out, row.AppMaker);
    out.push_back(',');
    AppendQuoted(out, row.AppName);
    out.push_back(',');
    AppendQuoted(out, row.Version);
    out.push_back(',');
    out += std::to_string(row.Verification.value_or(0));
    out.push_back(',');
    AppendQuoted(out, row.AppPath);
    out += "\r\n";
}

long long CsvExport::Export(TResultsTable &table, const std::string &path) {
    TOutFile file(path);
    constexpr std::size_t Chunk = 1 << 16;
    std::string buf;
    buf.reserve(Chunk + 1024);
    long long rows = 0;
    table.First();
    while (!table.Eof()) {
        AppendLine(buf, table.Current());
        ++rows;
        if (buf.size() >= Chunk)
            file.Write(buf);
        table.Next();
    }
    file.Write(buf);
    file.Close();
    return rows;
}

} // namespace invexa
