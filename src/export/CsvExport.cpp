#include "export/CsvExport.h"

#include "data/InvexaError.h"
#include "data/ResultsTable.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace invexa {
namespace {

// The messages the user knows from the original program for the common I/O failures.
std::string IoMessage(int err) {
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EISDIR: return "File access denied";
    case ENOSPC:
    case EFBIG:
    case EDQUOT: return "Disk full";
    case ENOENT: return "Path not found";
    default: return std::string("I/O error: ") + std::strerror(err);
    }
}

class TOutFile {
public:
    explicit TOutFile(const std::string &path) {
        // A file marked read-only is refused even for a user (root) whom the system would let write anyway, as
        // the settings file is: the mark says the old export must stay.
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0)
            throw EInvexaError(IoMessage(EACCES));
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0)
            throw EInvexaError(IoMessage(errno));
    }
    ~TOutFile() {
        if (fd_ >= 0)
            ::close(fd_);
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
        buf.clear();
    }
    void Close() {
        int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            throw EInvexaError(IoMessage(errno));
    }

private:
    int fd_ = -1;
};

void AppendQuoted(std::string &out, const std::string &text) {
    out.push_back('"');
    out += text;
    out.push_back('"');
}

} // namespace

void TCsvExport::AppendLine(std::string &out, const TResultRow &row) {
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

long long TCsvExport::Export(TResultsTable &table, const std::string &path) {
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
