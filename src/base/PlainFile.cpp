#include "base/PlainFile.h"

#include "base/InvexaError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace invexa {

std::string NotRegularMessage(const std::string &action, const struct stat &st) {
    if (S_ISLNK(st.st_mode))
        return action + ": it is a symbolic link, and files in the working folder are never used through a link";
    const char *kind = S_ISDIR(st.st_mode)                          ? "a folder"
                       : S_ISFIFO(st.st_mode)                       ? "a FIFO"
                       : S_ISSOCK(st.st_mode)                       ? "a socket"
                       : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                                                                    : "of an unknown kind";
    return action + ": it is " + kind + ", not a regular file";
}

TPlainFile RegularFileAt(const std::string &path, const std::string &action) {
    // O_PATH opens the name only: no permission on the file is needed and a FIFO is not opened.
    int fd = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    TPlainFile file;
    if (fd < 0) {
        if (errno == ENOENT)
            return file;
        throw EInvexaError(action + ": " + std::strerror(errno));
    }
    int rc = ::fstat(fd, &file.Stat), err = errno;
    ::close(fd);
    if (rc != 0)
        throw EInvexaError(action + ": " + std::strerror(err));
    if (!S_ISREG(file.Stat.st_mode))
        throw EInvexaError(NotRegularMessage(action, file.Stat));
    file.Exists = true;
    return file;
}

} // namespace invexa
