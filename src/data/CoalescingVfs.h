#pragma once
#include <string>

namespace invexa {

// An SQLite VFS over another one that gathers a run of writes to consecutive places of the table's file or of
// its journal into one write of up to BufferBytes. SQLite writes a page at a time: a commit of a merge is
// thousands of pages in a row, and every page it saves in the journal is three writes (its number, its bytes, a
// checksum). Each write is a system call, which this machine makes dear.
//
// Nothing reaches the file later than SQLite relies on: the gathered bytes are written before every sync, read,
// size, truncation, lock change, file control and close of that file, and whenever the next write does not
// follow them. A failure to write them is the failure of the call that made them go out.
namespace CoalescingVfs {

// SQLite's own file layer cuts every write to under 128 KB.
inline constexpr int BufferBytes = 64 * 1024;

// The name of the VFS gathering writes over the VFS named base (empty: SQLite's default), registered on first
// use, never as the default.
const char *Over(const std::string &base);

} // namespace CoalescingVfs
} // namespace invexa
