#include "base/PlainFile.h"

#include "base/InvexaError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace invexa {

TFd::~TFd() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool TFd::Close() {
    return ::close(Release()) == 0;
}

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

TOpenedFile OpenRegular(const std::string &path, int flags, mode_t mode, ELinks links) {
    TOpenedFile file;
    flags |= O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (links == ELinks::Refuse ? O_NOFOLLOW : 0);
    file.Fd = TFd(::open(path.c_str(), flags, mode));
    if (file.Fd.Get() < 0) {
        file.Error = errno;
        struct stat named {};
        if (file.Error == ENOENT)
            file.Found = EFound::Missing;
        // ELOOP also comes from a loop of links further up the path: only a link at the name itself is one.
        else if (file.Error == ELOOP && ::lstat(path.c_str(), &named) == 0 && S_ISLNK(named.st_mode))
            file.Found = EFound::Link;
        return file;
    }
    if (::fstat(file.Fd.Get(), &file.Stat) != 0) {
        file.Error = errno;
        file.Fd.Close();
        return file;
    }
    file.Found = S_ISREG(file.Stat.st_mode) ? EFound::Regular : EFound::NotRegular;
    if (file.Found == EFound::NotRegular)
        file.Fd.Close();
    return file;
}

TPlainFile RegularFileAt(const std::string &path, const std::string &action) {
    // O_PATH opens the name only: no permission on the file is needed, a FIFO is not opened, and a link is
    // opened as the link itself, which then shows as not a regular file.
    const TOpenedFile found = OpenRegular(path, O_PATH);
    TPlainFile file;
    file.Stat = found.Stat;
    if (found.Found == EFound::NotRegular)
        throw EInvexaError(NotRegularMessage(action, found.Stat));
    if (found.Found != EFound::Regular && found.Found != EFound::Missing)
        throw EInvexaError(action + ": " + std::strerror(found.Error));
    file.Exists = found.Found == EFound::Regular;
    return file;
}

} // namespace invexa
