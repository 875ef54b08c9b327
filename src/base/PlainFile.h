#pragma once
#include <string>
#include <sys/stat.h>

namespace invexa {

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

} // namespace invexa
