#pragma once
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>

namespace invexa {

// An open file descriptor, closed with its owner.
class TFd {
public:
    explicit TFd(int fd = -1) : fd_(fd) {}
    TFd(const TFd &) = delete;
    TFd &operator=(const TFd &) = delete;
    TFd(TFd &&other) noexcept : fd_(other.Release()) {}
    TFd &operator=(TFd &&other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~TFd();
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }
    // Closes the descriptor now; false when the close reports an error.
    bool Close();

private:
    int fd_;
};

// What stands at a name in the working folder. Anyone who can write the folder may have put a symbolic link, a
// FIFO or a folder there; the program reads and writes only regular files, never through a link.
struct TPlainFile {
    bool Exists = false;
    struct stat Stat {};
};

// Looks at path without following a link and without opening the file itself, so nothing blocks (a FIFO).
// Nothing there: Exists is false. A regular file: its status. A symbolic link (dangling or not), a folder, a FIFO
// or any other kind of file throws EInvexaError: `action` (such as "Cannot write x"), then what is there.
TPlainFile RegularFileAt(const std::string &path, const std::string &action);
// The refusal RegularFileAt throws for a file of the status st.
std::string NotRegularMessage(const std::string &action, const struct stat &st);

// What an open of a name that must hold a regular file found there.
enum class EFound {
    Regular,    // open, Fd and Stat hold it
    Missing,    // nothing at the name (ENOENT)
    Link,       // a symbolic link, which is never followed (Error is ELOOP)
    NotRegular, // a folder, a FIFO, a device...: Stat says which; closed again
    Failed,     // the open or the look at what it opened failed: Error says why
};
struct TOpenedFile {
    EFound Found = EFound::Failed;
    TFd Fd;
    int Error = 0; // the errno of the failed open or fstat
    struct stat Stat {};
};
enum class ELinks { Refuse, Follow };
// Opens path with flags (O_RDONLY, O_RDWR | O_CREAT...), never waiting (O_NONBLOCK: a FIFO or a device does not
// block the open), never becoming a controlling terminal, closed on exec, and, unless links are followed, not
// through a symbolic link; then tells what it opened. Each caller turns what was found into its own message.
TOpenedFile OpenRegular(const std::string &path, int flags, mode_t mode = 0, ELinks links = ELinks::Refuse);

} // namespace invexa
