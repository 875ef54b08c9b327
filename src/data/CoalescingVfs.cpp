#include "data/CoalescingVfs.h"

#include "base/InvexaError.h"

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace invexa::CoalescingVfs {
namespace {

// The file SQLite holds: this header, then the base VFS's own file object.
struct TFile {
    sqlite3_file head; // pMethods: Methods (or null when the base open failed)
    sqlite3_file *real;
    char *buf;            // BufferBytes, made at the first gathered write; null for files passed straight on
    bool gather;          // the table's file or its journal
    sqlite3_int64 start;  // where the gathered bytes go
    int length;           // how many are gathered
};

TFile *Of(sqlite3_file *f) {
    return reinterpret_cast<TFile *>(f);
}

// Writes what is gathered; on failure the bytes are dropped, as a write SQLite made itself would be lost.
int Flush(TFile *f) {
    if (f->length == 0)
        return SQLITE_OK;
    const int n = f->length;
    f->length = 0;
    return f->real->pMethods->xWrite(f->real, f->buf, n, f->start);
}

int Close(sqlite3_file *file) {
    TFile *f = Of(file);
    int rc = Flush(f);
    const int closed = f->real->pMethods->xClose(f->real);
    std::free(f->buf);
    f->buf = nullptr;
    return rc != SQLITE_OK ? rc : closed;
}

int Read(sqlite3_file *file, void *out, int n, sqlite3_int64 at) {
    TFile *f = Of(file);
    const int rc = Flush(f);
    return rc != SQLITE_OK ? rc : f->real->pMethods->xRead(f->real, out, n, at);
}

int Write(sqlite3_file *file, const void *data, int n, sqlite3_int64 at) {
    TFile *f = Of(file);
    if (!f->gather)
        return f->real->pMethods->xWrite(f->real, data, n, at);
    if (f->length > 0 && at == f->start + f->length && f->length + n <= BufferBytes) {
        std::memcpy(f->buf + f->length, data, static_cast<std::size_t>(n));
        f->length += n;
        return SQLITE_OK;
    }
    if (const int rc = Flush(f); rc != SQLITE_OK)
        return rc;
    if (n > BufferBytes / 2)
        return f->real->pMethods->xWrite(f->real, data, n, at);
    if (!f->buf && !(f->buf = static_cast<char *>(std::malloc(BufferBytes))))
        return f->real->pMethods->xWrite(f->real, data, n, at);
    std::memcpy(f->buf, data, static_cast<std::size_t>(n));
    f->start = at;
    f->length = n;
    return SQLITE_OK;
}

int Truncate(sqlite3_file *file, sqlite3_int64 size) {
    TFile *f = Of(file);
    const int rc = Flush(f);
    return rc != SQLITE_OK ? rc : f->real->pMethods->xTruncate(f->real, size);
}

int Sync(sqlite3_file *file, int flags) {
    TFile *f = Of(file);
    const int rc = Flush(f);
    return rc != SQLITE_OK ? rc : f->real->pMethods->xSync(f->real, flags);
}

int FileSize(sqlite3_file *file, sqlite3_int64 *size) {
    TFile *f = Of(file);
    const int rc = Flush(f);
    return rc != SQLITE_OK ? rc : f->real->pMethods->xFileSize(f->real, size);
}

int Lock(sqlite3_file *file, int level) {
    TFile *f = Of(file);
    const int rc = Flush(f);
    return rc != SQLITE_OK ? rc : f->real->pMethods->xLock(f->real, level);
}

int Unlock(sqlite3_file *file, int level) {
    TFile *f = Of(file);
    const int rc = Flush(f);
    const int unlocked = f->real->pMethods->xUnlock(f->real, level);
    return rc != SQLITE_OK ? rc : unlocked;
}

int CheckReservedLock(sqlite3_file *file, int *out) {
    TFile *f = Of(file);
    return f->real->pMethods->xCheckReservedLock(f->real, out);
}

int FileControl(sqlite3_file *file, int op, void *arg) {
    TFile *f = Of(file);
    const int rc = Flush(f);
    return rc != SQLITE_OK ? rc : f->real->pMethods->xFileControl(f->real, op, arg);
}

int SectorSize(sqlite3_file *file) {
    TFile *f = Of(file);
    return f->real->pMethods->xSectorSize(f->real);
}

int DeviceCharacteristics(sqlite3_file *file) {
    TFile *f = Of(file);
    return f->real->pMethods->xDeviceCharacteristics(f->real);
}

// The shared memory of a WAL file: passed straight on, for a table someone else put in WAL mode until it is
// opened and set back to the rollback journal.
bool HasShm(const TFile *f) {
    return f->real->pMethods->iVersion >= 2;
}
int ShmMap(sqlite3_file *file, int page, int size, int extend, void volatile **out) {
    TFile *f = Of(file);
    return HasShm(f) ? f->real->pMethods->xShmMap(f->real, page, size, extend, out) : SQLITE_IOERR_SHMMAP;
}
int ShmLock(sqlite3_file *file, int offset, int n, int flags) {
    TFile *f = Of(file);
    return HasShm(f) ? f->real->pMethods->xShmLock(f->real, offset, n, flags) : SQLITE_IOERR_SHMLOCK;
}
void ShmBarrier(sqlite3_file *file) {
    TFile *f = Of(file);
    if (HasShm(f))
        f->real->pMethods->xShmBarrier(f->real);
}
int ShmUnmap(sqlite3_file *file, int deleteFlag) {
    TFile *f = Of(file);
    return HasShm(f) ? f->real->pMethods->xShmUnmap(f->real, deleteFlag) : SQLITE_OK;
}

// Version 2: no memory-mapped reads, which would bypass the gathered bytes.
const sqlite3_io_methods Methods = {2,        Close,      Read,       Write,     Truncate,
                                    Sync,     FileSize,   Lock,       Unlock,    CheckReservedLock,
                                    FileControl, SectorSize, DeviceCharacteristics, ShmMap, ShmLock,
                                    ShmBarrier, ShmUnmap,  nullptr,    nullptr};

struct TVfs {
    sqlite3_vfs vfs;
    sqlite3_vfs *base;
    std::string name;
};

int Open(sqlite3_vfs *vfs, sqlite3_filename name, sqlite3_file *file, int flags, int *outFlags) {
    sqlite3_vfs *base = static_cast<TVfs *>(vfs->pAppData)->base;
    TFile *f = Of(file);
    f->head.pMethods = nullptr;
    f->real = reinterpret_cast<sqlite3_file *>(f + 1);
    f->buf = nullptr;
    f->gather = (flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_MAIN_JOURNAL)) != 0;
    f->start = 0;
    f->length = 0;
    const int rc = base->xOpen(base, name, f->real, flags, outFlags);
    if (f->real->pMethods) // SQLite closes a file whose open failed only when it has methods
        f->head.pMethods = &Methods;
    return rc;
}

int Delete(sqlite3_vfs *vfs, const char *name, int syncDir) {
    sqlite3_vfs *base = static_cast<TVfs *>(vfs->pAppData)->base;
    return base->xDelete(base, name, syncDir);
}
int Access(sqlite3_vfs *vfs, const char *name, int flags, int *out) {
    sqlite3_vfs *base = static_cast<TVfs *>(vfs->pAppData)->base;
    return base->xAccess(base, name, flags, out);
}
int FullPathname(sqlite3_vfs *vfs, const char *name, int n, char *out) {
    sqlite3_vfs *base = static_cast<TVfs *>(vfs->pAppData)->base;
    return base->xFullPathname(base, name, n, out);
}
void *DlOpen(sqlite3_vfs *vfs, const char *name) {
    sqlite3_vfs *base = static_cast<TVfs *>(vfs->pAppData)->base;
    return base->xDlOpen(base, name);
}
void DlError(sqlite3_vfs *vfs, int n, char *out) {
    sqlite3_vfs *base = static_cast<TVfs *>(vfs->pAppData)->base;
    base->xDlError(base, n, out);
}
void (*DlSym(sqlite3_vfs *vfs, void *lib, const char *sym))(void) {
    sqlite3_vfs *base = static_cast<TVfs *>(vfs->pAppData)->base;
    return base->xDlSym(base, lib, sym);
}
void DlClose(sqlite3_vfs *vfs, void *lib) {
    sqlite3_vfs *base = static_cast<TVfs *>(vfs->pAppData)->base;
    base->xDlClose(base, lib);
}
int Randomness(sqlite3_vfs *vfs, int n, char *out) {
    sqlite3_vfs *base = static_cast<TVfs *>(vfs->pAppData)->base;
    return base->xRandomness(base, n, out);
}
int Sleep(sqlite3_vfs *vfs, int us) {
    sqlite3_vfs *base = static_cast<TVfs *>(vfs->pAppData)->base;
    return base->xSleep(base, us);
}
int CurrentTime(sqlite3_vfs *vfs, double *out) {
    sqlite3_vfs *base = static_cast<TVfs *>(vfs->pAppData)->base;
    return base->xCurrentTime(base, out);
}
int GetLastError(sqlite3_vfs *vfs, int n, char *out) {
    sqlite3_vfs *base = static_cast<TVfs *>(vfs->pAppData)->base;
    return base->xGetLastError ? base->xGetLastError(base, n, out) : 0;
}
int CurrentTimeInt64(sqlite3_vfs *vfs, sqlite3_int64 *out) {
    sqlite3_vfs *base = static_cast<TVfs *>(vfs->pAppData)->base;
    return base->xCurrentTimeInt64(base, out);
}

} // namespace

const char *Over(const std::string &base) {
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<TVfs>> made; // kept for the process's life, as SQLite holds them
    std::lock_guard lock(mutex);
    if (auto it = made.find(base); it != made.end())
        return it->second->name.c_str();
    sqlite3_vfs *under = sqlite3_vfs_find(base.empty() ? nullptr : base.c_str());
    if (!under)
        throw EInvexaError("No SQLite VFS named " + base);
    auto v = std::make_unique<TVfs>();
    v->base = under;
    v->name = "invexa-coalescing" + (base.empty() ? std::string() : "-" + base);
    sqlite3_vfs &vfs = v->vfs;
    vfs = sqlite3_vfs{};
    vfs.iVersion = 2;
    vfs.szOsFile = static_cast<int>(sizeof(TFile)) + under->szOsFile;
    vfs.mxPathname = under->mxPathname;
    vfs.zName = v->name.c_str();
    vfs.pAppData = v.get();
    vfs.xOpen = Open;
    vfs.xDelete = Delete;
    vfs.xAccess = Access;
    vfs.xFullPathname = FullPathname;
    vfs.xDlOpen = DlOpen;
    vfs.xDlError = DlError;
    vfs.xDlSym = DlSym;
    vfs.xDlClose = DlClose;
    vfs.xRandomness = Randomness;
    vfs.xSleep = Sleep;
    vfs.xCurrentTime = CurrentTime;
    vfs.xGetLastError = GetLastError;
    vfs.xCurrentTimeInt64 = under->iVersion >= 2 && under->xCurrentTimeInt64 ? CurrentTimeInt64 : nullptr;
    if (sqlite3_vfs_register(&vfs, 0) != SQLITE_OK)
        throw EInvexaError("Cannot register the SQLite VFS " + v->name);
    return made.emplace(base, std::move(v)).first->second->name.c_str();
}

} // namespace invexa::CoalescingVfs
