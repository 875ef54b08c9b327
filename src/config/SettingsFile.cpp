#include "config/SettingsFile.h"

#include "base/PlainFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace invexa {

namespace {

// Reads and saves that keep meeting a changing file give up after this many rounds.
constexpr int Attempts = 5;
// A save waits at most this long (in 20 ms steps) for another save to release the lock.
constexpr int LockWaits = 500;
bool SameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Same file, same size, not written to or changed in any other way, to the nanosecond.
bool Unchanged(const struct stat &a, const struct stat &b) {
    return SameFile(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
           a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

bool HasNoWriteBit(const struct stat &info) {
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Asked for the effective user, the one whose rights every open and rename of the save runs with.
bool MayWrite(const std::string &path) {
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// Reads the whole file from its start; false on a read error, never a short read taken for the end.
bool ReadAll(int fd, std::string &bytes) {
    bytes.clear();
    char buffer[65536];
    for (;;) {
        ssize_t got = pread(fd, buffer, sizeof buffer, static_cast<off_t>(bytes.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

// Reads the file whole while nothing changes it; false when it changed during the read.
bool ReadSteady(int fd, std::string &bytes, struct stat &info, bool &readError) {
    struct stat before {};
    readError = fstat(fd, &before) != 0 || !ReadAll(fd, bytes);
    if (readError || fstat(fd, &info) != 0)
        return false;
    return Unchanged(before, info) && static_cast<std::size_t>(info.st_size) == bytes.size();
}

bool WriteAll(int fd, const std::string &bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

mode_t NewFileMode() {
    // umask can only be read by setting it; the program changes it nowhere else, so putting it straight back
    // is safe.
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Makes a rename or a removal durable. Best effort: the file itself is complete and in place, so a folder that
// cannot be synced is no reason to report the save as failed.
void SyncFolder(const std::string &folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// Gives the new file what the old one had: owner and group, extended attributes (access lists among them) and
// mode, in that order, since a change of owner clears the set-id bits. False when any of it cannot be given.
bool GiveAttributes(int from, int to, const struct stat &old) {
    struct stat mine {};
    if (fstat(to, &mine) != 0 ||
        ((mine.st_uid != old.st_uid || mine.st_gid != old.st_gid) && fchown(to, old.st_uid, old.st_gid) != 0))
        return false;
    ssize_t size = flistxattr(from, nullptr, 0);
    if (size < 0 && errno != ENOTSUP)
        return false;
    std::string names(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0 && flistxattr(from, names.data(), names.size()) != size)
        return false;
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
        const char *name = names.c_str() + at;
        ssize_t length = fgetxattr(from, name, nullptr, 0);
        std::string value(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
        if (length < 0 || fgetxattr(from, name, value.data(), value.size()) != length ||
            fsetxattr(to, name, value.data(), value.size(), 0) != 0)
            return false;
    }
    return fchmod(to, old.st_mode & 07777) == 0 && fstat(to, &mine) == 0 && mine.st_uid == old.st_uid &&
           mine.st_gid == old.st_gid && (mine.st_mode & 07777) == (old.st_mode & 07777);
}

} // namespace

struct TSettingsFile::TOpened {
    TFd Fd;
    bool Exists = false;
    struct stat Info {};
    std::string Bytes;
};

TSettingsFile::TSettingsFile(std::string path) : path_(std::move(path)) {
    std::filesystem::path p(path_);
    folder_ = p.has_parent_path() ? p.parent_path().string() : ".";
    lockPath_ = (std::filesystem::path(folder_) / ("." + p.filename().string() + ".lock")).string();
    copyPath_ = path_ + ".before-save";
}

EInvexaError TSettingsFile::Failure(const std::string &reason) const {
    return EInvexaError("Unable to write to " + path_ + (reason.empty() ? "" : ": " + reason));
}

std::optional<std::string> TSettingsFile::Read() const {
    TOpenedFile file = OpenRegular(path_, O_RDONLY, 0, ELinks::Follow);
    if (file.Found == EFound::Missing || file.Error == ENOTDIR)
        return std::nullopt;
    const std::string failure = "Unable to read " + path_ + ": ";
    if (file.Found == EFound::NotRegular)
        throw EInvexaError(failure + "it is not a regular file");
    if (file.Found != EFound::Regular)
        throw EInvexaError(failure + std::strerror(file.Error));
    std::string bytes;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        bool readError = false;
        if (ReadSteady(file.Fd.Get(), bytes, file.Stat, readError))
            return bytes;
        if (readError)
            throw EInvexaError(failure + std::strerror(errno));
    }
    throw EInvexaError(failure + "it kept changing while it was read");
}

std::optional<std::string> TSettingsFile::CutShortNotice() const {
    struct stat info {};
    if (lstat(copyPath_.c_str(), &info) != 0)
        return std::nullopt;
    return "A save of " + path_ + " was cut short; its earlier content is kept in " + copyPath_;
}

int TSettingsFile::Lock() const {
    // The lock is on a file of its own, so it holds across the settings file being replaced. Anyone may have
    // planted something at its name, so it is opened like the settings file: no link followed, no waiting.
    TOpenedFile file = OpenRegular(lockPath_, O_RDWR | O_CREAT, 0644);
    if (file.Error == EACCES) // another account's lock file: reading is enough for flock
        file = OpenRegular(lockPath_, O_RDONLY);
    if (file.Error == ELOOP)
        throw Failure("its lock file " + lockPath_ + " is a symbolic link");
    if (file.Found == EFound::NotRegular)
        throw Failure("its lock file " + lockPath_ + " is not a regular file");
    if (file.Found != EFound::Regular)
        throw Failure("cannot open its lock file " + lockPath_ + ": " + std::strerror(file.Error));
    TFd lock = std::move(file.Fd);
    const struct stat &info = file.Stat;
    // Every account that saves must be able to open it, whatever the umask of the one that made it.
    if (info.st_uid == geteuid() && (info.st_mode & 0444) != 0444)
        fchmod(lock.Get(), 0644);
    for (int wait = 0; flock(lock.Get(), LOCK_EX | LOCK_NB) != 0; ++wait) {
        // A file system that has no locks at all (ENOLCK) cannot be helped: the save goes ahead as before.
        if (errno != EWOULDBLOCK && errno != EINTR)
            break;
        if (wait == LockWaits)
            throw Failure("another program holds its lock file " + lockPath_);
        usleep(20000);
    }
    return lock.Release();
}

bool TSettingsFile::ReadForSave(TOpened &file) const {
    TOpenedFile opened = OpenRegular(path_, O_RDONLY);
    if (opened.Error == ELOOP)
        throw Failure("it is a symbolic link");
    if (opened.Found == EFound::Missing)
        return true;
    if (opened.Found == EFound::NotRegular)
        throw Failure("it is not a regular file");
    if (opened.Found != EFound::Regular)
        throw Failure(std::strerror(opened.Error));
    file.Exists = true;
    file.Fd = std::move(opened.Fd);
    file.Info = opened.Stat;
    // A file marked read-only is refused even for root, like the folder.
    if (HasNoWriteBit(file.Info) || !MayWrite(path_))
        throw Failure();
    bool readError = false;
    if (!ReadSteady(file.Fd.Get(), file.Bytes, file.Info, readError)) {
        if (readError)
            throw Failure(std::strerror(errno));
        return false;
    }
    struct stat named {};
    return lstat(path_.c_str(), &named) == 0 && SameFile(named, file.Info); // else replaced while it was read
}

void TSettingsFile::Update(const std::function<void(TProfileFile &)> &change) const {
    // A folder marked read-only is refused even for a user (root) whom the system would let write anyway.
    struct stat folderInfo {};
    if (stat(folder_.c_str(), &folderInfo) != 0 || HasNoWriteBit(folderInfo) || !MayWrite(folder_))
        throw Failure();
    TFd lock(Lock());
    if (CutShortNotice())
        throw Failure("an earlier save of it was cut short; its earlier content is kept in " + copyPath_ +
                      "; look at both, then remove the copy");
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        TOpened file;
        if (!ReadForSave(file))
            continue;
        TProfileFile profile;
        try {
            profile = TProfileFile::Parse(file.Bytes);
        } catch (const EInvexaError &) {
            throw Failure();
        }
        change(profile);
        if (Write(file, profile.Serialize()))
            return;
    }
    throw Failure("it kept changing while it was saved");
}

// Writes a new file beside the settings file and renames it over, so a reader (a scanner) sees either the old
// file or the new one, never half of it. False, with nothing changed, when the file was replaced or created by
// someone else since it was read.
bool TSettingsFile::Write(const TOpened &file, const std::string &bytes) const {
    std::string temp = path_ + ".tmp-XXXXXX";
    TFd fd(mkostemp(temp.data(), O_CLOEXEC));
    if (fd.Get() < 0)
        throw Failure();
    struct TRemove {
        const std::string &Name;
        bool Armed = true;
        ~TRemove() {
            if (Armed)
                unlink(Name.c_str());
        }
    } remove{temp};
    if (file.Exists && !GiveAttributes(file.Fd.Get(), fd.Get(), file.Info)) {
        // Only the owner of a file, or root, can give a new file its owner and group: the file is rewritten in
        // place instead, which keeps them.
        fd.Close();
        return WriteInPlace(file, bytes);
    }
    if (!WriteAll(fd.Get(), bytes) || (!file.Exists && fchmod(fd.Get(), NewFileMode()) != 0) || fsync(fd.Get()) != 0 ||
        !fd.Close())
        throw Failure();
    if (file.Exists) {
        struct stat now {};
        struct stat named {};
        if (fstat(file.Fd.Get(), &now) != 0 || !Unchanged(now, file.Info) || lstat(path_.c_str(), &named) != 0 ||
            !SameFile(named, file.Info))
            return false;
        if (rename(temp.c_str(), path_.c_str()) != 0)
            throw Failure();
    } else if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST)
            return false;
        // A file system without the no-replace rename: the plain one, as before.
        if (errno != EINVAL || rename(temp.c_str(), path_.c_str()) != 0)
            throw Failure();
    }
    remove.Armed = false;
    SyncFolder(folder_);
    return true;
}

// Not atomic for readers, so kept short and recoverable: the earlier content goes to a copy beside the file
// first; a copy still there later means this was cut short, and it is left for the administrator.
bool TSettingsFile::WriteInPlace(const TOpened &file, const std::string &bytes) const {
    TOpenedFile opened = OpenRegular(path_, O_RDWR);
    if (opened.Found != EFound::Regular && opened.Found != EFound::NotRegular)
        throw Failure();
    // Something else at the name now (a FIFO, a folder) is a change like any other.
    if (!Unchanged(opened.Stat, file.Info))
        return false;
    TFd &fd = opened.Fd;
    {
        TFd copy(
            open(copyPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, file.Info.st_mode & 0666));
        if (copy.Get() < 0)
            throw Failure();
        if (!WriteAll(copy.Get(), file.Bytes) || fsync(copy.Get()) != 0 || !copy.Close()) {
            unlink(copyPath_.c_str());
            throw Failure();
        }
    }
    SyncFolder(folder_);
    auto put = [&](const std::string &content) {
        return WriteAll(fd.Get(), content) && ftruncate(fd.Get(), static_cast<off_t>(content.size())) == 0 &&
               fsync(fd.Get()) == 0;
    };
    if (!put(bytes)) {
        // The earlier content put back, the copy has done its work; if even that fails, the copy stays.
        if (!put(file.Bytes))
            throw Failure("the file may be damaged; its earlier content is kept in " + copyPath_);
        unlink(copyPath_.c_str());
        throw Failure();
    }
    unlink(copyPath_.c_str());
    SyncFolder(folder_);
    return true;
}

} // namespace invexa
