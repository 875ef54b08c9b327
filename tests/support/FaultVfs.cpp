#include "support/FaultVfs.h"

#include <sqlite3.h>

#include <atomic>
#include <cstring>
#include <stdexcept>

namespace invexa::test {
namespace {

sqlite3_vfs *real = nullptr;
sqlite3_vfs fault;
std::atomic<long> operations{0}, failures{0}, failAt{0};
std::atomic<FaultVfs::EMode> mode{FaultVfs::EMode::Once};

// Our file object first, the real VFS's file object right behind it in the same allocation.
struct TFaultFile {
    sqlite3_file base;
    sqlite3_file *inner;
};

sqlite3_file *Inner(sqlite3_file *f) { return reinterpret_cast<TFaultFile *>(f)->inner; }

// Whether this write or sync is one that fails.
bool Fails() {
    long n = ++operations;
    long at = failAt.load();
    bool fail = at > 0 && (n == at || (mode.load() == FaultVfs::EMode::FromThenOn && n > at));
    if (fail)
        ++failures;
    return fail;
}

int FailureCode(int ioCode) { return mode.load() == FaultVfs::EMode::FromThenOn ? SQLITE_FULL : ioCode; }

int Close(sqlite3_file *f) {
    int rc = Inner(f)->pMethods ? Inner(f)->pMethods->xClose(Inner(f)) : SQLITE_OK;
    f->pMethods = nullptr;
    return rc;
}
int Read(sqlite3_file *f, void *buf, int n, sqlite3_int64 off) { return Inner(f)->pMethods->xRead(Inner(f), buf, n, off); }
int Write(sqlite3_file *f, const void *buf, int n, sqlite3_int64 off) {
    if (Fails())
        return FailureCode(SQLITE_IOERR_WRITE);
    return Inner(f)->pMethods->xWrite(Inner(f), buf, n, off);
}
int Truncate(sqlite3_file *f, sqlite3_int64 size) { return Inner(f)->pMethods->xTruncate(Inner(f), size); }
int Sync(sqlite3_file *f, int flags) {
    if (Fails())
        return FailureCode(SQLITE_IOERR_FSYNC);
    return Inner(f)->pMethods->xSync(Inner(f), flags);
}
int FileSize(sqlite3_file *f, sqlite3_int64 *size) { return Inner(f)->pMethods->xFileSize(Inner(f), size); }
int Lock(sqlite3_file *f, int level) { return Inner(f)->pMethods->xLock(Inner(f), level); }
int Unlock(sqlite3_file *f, int level) { return Inner(f)->pMethods->xUnlock(Inner(f), level); }
int CheckReservedLock(sqlite3_file *f, int *out) { return Inner(f)->pMethods->xCheckReservedLock(Inner(f), out); }
int FileControl(sqlite3_file *f, int op, void *arg) { return Inner(f)->pMethods->xFileControl(Inner(f), op, arg); }
int SectorSize(sqlite3_file *f) { return Inner(f)->pMethods->xSectorSize(Inner(f)); }
int DeviceCharacteristics(sqlite3_file *f) { return Inner(f)->pMethods->xDeviceCharacteristics(Inner(f)); }
int ShmMap(sqlite3_file *f, int region, int size, int extend, void volatile **out) {
    return Inner(f)->pMethods->xShmMap(Inner(f), region, size, extend, out);
}
int ShmLock(sqlite3_file *f, int offset, int n, int flags) { return Inner(f)->pMethods->xShmLock(Inner(f), offset, n, flags); }
void ShmBarrier(sqlite3_file *f) { Inner(f)->pMethods->xShmBarrier(Inner(f)); }
int ShmUnmap(sqlite3_file *f, int deleteFlag) { return Inner(f)->pMethods->xShmUnmap(Inner(f), deleteFlag); }
int Fetch(sqlite3_file *f, sqlite3_int64 off, int n, void **out) { return Inner(f)->pMethods->xFetch(Inner(f), off, n, out); }
int Unfetch(sqlite3_file *f, sqlite3_int64 off, void *p) { return Inner(f)->pMethods->xUnfetch(Inner(f), off, p); }

const sqlite3_io_methods Methods = {3,        Close,        Read,      Write,     Truncate,          Sync,
                                    FileSize, Lock,         Unlock,    CheckReservedLock, FileControl,
                                    SectorSize, DeviceCharacteristics, ShmMap, ShmLock, ShmBarrier, ShmUnmap,
                                    Fetch,    Unfetch};

int Open(sqlite3_vfs *, sqlite3_filename name, sqlite3_file *f, int flags, int *outFlags) {
    auto *ff = reinterpret_cast<TFaultFile *>(f);
    ff->inner = reinterpret_cast<sqlite3_file *>(ff + 1);
    ff->base.pMethods = nullptr;
    int rc = real->xOpen(real, name, ff->inner, flags, outFlags);
    // The unix VFS's methods are version 3; ours stand in for them only when they are there to forward to.
    if (ff->inner->pMethods)
        ff->base.pMethods = &Methods;
    return rc;
}

int Delete(sqlite3_vfs *, const char *name, int syncDir) { return real->xDelete(real, name, syncDir); }
int Access(sqlite3_vfs *, const char *name, int flags, int *out) { return real->xAccess(real, name, flags, out); }
int FullPathname(sqlite3_vfs *, const char *name, int n, char *out) { return real->xFullPathname(real, name, n, out); }
void *DlOpen(sqlite3_vfs *, const char *name) { return real->xDlOpen(real, name); }
void DlError(sqlite3_vfs *, int n, char *out) { real->xDlError(real, n, out); }
void (*DlSym(sqlite3_vfs *, void *h, const char *sym))(void) { return real->xDlSym(real, h, sym); }
void DlClose(sqlite3_vfs *, void *h) { real->xDlClose(real, h); }
int Randomness(sqlite3_vfs *, int n, char *out) { return real->xRandomness(real, n, out); }
int Sleep(sqlite3_vfs *, int us) { return real->xSleep(real, us); }
int CurrentTime(sqlite3_vfs *, double *out) { return real->xCurrentTime(real, out); }
int GetLastError(sqlite3_vfs *, int n, char *out) { return real->xGetLastError(real, n, out); }
int CurrentTimeInt64(sqlite3_vfs *, sqlite3_int64 *out) { return real->xCurrentTimeInt64(real, out); }

} // namespace

void FaultVfs::Register() {
    if (real)
        return;
    real = sqlite3_vfs_find("unix");
    if (!real || real->iVersion < 2)
        throw std::runtime_error("no unix VFS to wrap");
    std::memset(&fault, 0, sizeof fault);
    fault.iVersion = 2;
    fault.szOsFile = static_cast<int>(sizeof(TFaultFile)) + real->szOsFile;
    fault.mxPathname = real->mxPathname;
    fault.zName = Name;
    fault.xOpen = Open;
    fault.xDelete = Delete;
    fault.xAccess = Access;
    fault.xFullPathname = FullPathname;
    fault.xDlOpen = DlOpen;
    fault.xDlError = DlError;
    fault.xDlSym = DlSym;
    fault.xDlClose = DlClose;
    fault.xRandomness = Randomness;
    fault.xSleep = Sleep;
    fault.xCurrentTime = CurrentTime;
    fault.xGetLastError = GetLastError;
    fault.xCurrentTimeInt64 = CurrentTimeInt64;
    if (sqlite3_vfs_register(&fault, 0) != SQLITE_OK)
        throw std::runtime_error("cannot register the fault-injecting VFS");
}

void FaultVfs::Arm(long at, EMode m) {
    mode = m;
    failAt = at;
    operations = 0;
    failures = 0;
}

long FaultVfs::Operations() { return operations.load(); }
long FaultVfs::Failures() { return failures.load(); }

} // namespace invexa::test
