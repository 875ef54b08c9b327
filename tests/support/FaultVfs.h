#pragma once
// An SQLite VFS that is the default one ("unix") except that chosen writes and syncs fail, so that the real code
// meets a disk that fails under it. Select it with TResultsDatabase::SetVfsForTests(FaultVfs::Name).
#include <sqlite3.h>

#include <atomic>
#include <cstddef>
#include <stdexcept>

namespace invexa::test::FaultVfs {

inline constexpr const char *Name = "invexa-fault";
enum class EMode {
    Once,      // the N-th write or sync fails with an I/O error, later ones succeed (a transient fault)
    FromThenOn // the N-th and every later write or sync fail as on a full disk (the disk stays bad)
};

namespace detail {
inline sqlite3_vfs *real = nullptr, vfs;
inline std::atomic<long> operations{0}, failures{0}, failAt{0};
inline std::atomic<EMode> mode{EMode::Once};
// The real file's methods with Write and Sync replaced; a file opened through this VFS is the real VFS's own
// file object, only its method table is swapped for the patched copy.
struct TPatch {
    const sqlite3_io_methods *real;
    sqlite3_io_methods patched;
};
inline TPatch patches[8];
inline const sqlite3_io_methods *Real(sqlite3_file *f) {
    return reinterpret_cast<const TPatch *>(reinterpret_cast<const char *>(f->pMethods) - offsetof(TPatch, patched))
        ->real;
}
inline bool Fails() {
    long n = ++operations;
    bool fail = failAt > 0 && (n == failAt || (mode == EMode::FromThenOn && n > failAt));
    if (fail)
        ++failures;
    return fail;
}
inline int Write(sqlite3_file *f, const void *buf, int n, sqlite3_int64 off) {
    return Fails() ? (mode == EMode::Once ? SQLITE_IOERR_WRITE : SQLITE_FULL) : Real(f)->xWrite(f, buf, n, off);
}
inline int Sync(sqlite3_file *f, int flags) {
    return Fails() ? (mode == EMode::Once ? SQLITE_IOERR_FSYNC : SQLITE_FULL) : Real(f)->xSync(f, flags);
}
inline int Open(sqlite3_vfs *, sqlite3_filename name, sqlite3_file *f, int flags, int *outFlags) {
    int rc = real->xOpen(real, name, f, flags, outFlags);
    if (!f->pMethods)
        return rc;
    for (TPatch &p : patches)
        if (!p.real || p.real == f->pMethods) {
            p.real = f->pMethods;
            p.patched = *f->pMethods;
            p.patched.xWrite = Write;
            p.patched.xSync = Sync;
            f->pMethods = &p.patched;
            return rc;
        }
    f->pMethods->xClose(f); // more kinds of file than patches: never seen, but not silently unfaulted
    return SQLITE_CANTOPEN;
}
} // namespace detail

// Registers the VFS (not as the default); idempotent.
inline void Register() {
    using namespace detail;
    if (real)
        return;
    real = sqlite3_vfs_find("unix");
    if (!real)
        throw std::runtime_error("no unix VFS to wrap");
    vfs = *real;
    vfs.pNext = nullptr;
    vfs.zName = Name;
    vfs.xOpen = Open;
    if (sqlite3_vfs_register(&vfs, 0) != SQLITE_OK)
        throw std::runtime_error("cannot register the fault-injecting VFS");
}
// Counts writes and syncs from zero again and fails as mode says from the at-th on; 0 never fails.
inline void Arm(long at, EMode m) {
    detail::mode = m, detail::failAt = at, detail::operations = detail::failures = 0;
}
// Writes and syncs seen since the last Arm, and how many of them were made to fail.
inline long Operations() {
    return detail::operations;
}
inline long Failures() {
    return detail::failures;
}

} // namespace invexa::test::FaultVfs
