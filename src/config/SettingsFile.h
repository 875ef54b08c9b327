#pragma once
#include "base/InvexaError.h"
#include "config/ProfileFile.h"

#include <functional>
#include <optional>
#include <string>

namespace invexa {

// INVEXA.INI on disk, in a folder every scanning computer can write to, so whatever lies at its name may have
// been planted there. The file is read through a symbolic link (that only shows what the link points at) but
// never written through one, only a regular file is read or written, and no open waits on a FIFO or a device.
// Saves by this program exclude one another through a lock file beside the settings file, and keep the file's
// owner, group, mode and extended attributes.
class TSettingsFile {
public:
    explicit TSettingsFile(std::string path);

    // The file's bytes; nullopt when there is no file. Throws EInvexaError "Unable to read <path>: <reason>".
    std::optional<std::string> Read() const;
    // Takes the save lock, reads the file as it is now (again if it changes while being read), lets change edit
    // it and writes the result, all before another save of this program may start. change may run more than
    // once, each time on a fresh read, when someone who takes no lock replaces the file meanwhile. Throws
    // EInvexaError "Unable to write to <path>[: reason]" with the file as it was; lets change's own errors through.
    void Update(const std::function<void(TProfileFile &)> &change) const;
    // A rewrite in place that was cut short leaves its copy of the earlier content beside the file: then the
    // message that says so.
    std::optional<std::string> CutShortNotice() const;

private:
    struct TOpened;
    int Lock() const;                      // the open lock file, locked
    bool ReadForSave(TOpened &file) const; // false: the file changed while it was read
    bool Write(const TOpened &file, const std::string &bytes) const;
    bool WriteInPlace(const TOpened &file, const std::string &bytes) const;
    EInvexaError Failure(const std::string &reason = "") const;

    std::string path_, folder_, lockPath_, copyPath_;
};

} // namespace invexa
