#include "data/FolderHold.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace invexa {

TFolderHold::TFolderHold(const std::string &folder) : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    shared_ = fd_ >= 0 && Lock(LOCK_SH);
}

TFolderHold::~TFolderHold() {
    if (fd_ >= 0)
        ::close(fd_);
}

void TFolderHold::WaitForOthers() {
    if (shared_ && ::flock(fd_, LOCK_UN) == 0) {
        shared_ = false;
        Lock(LOCK_EX);
    }
}

bool TFolderHold::Lock(int op) {
    int r;
    do
        r = ::flock(fd_, op);
    while (r != 0 && errno == EINTR);
    return r == 0;
}

} // namespace invexa
