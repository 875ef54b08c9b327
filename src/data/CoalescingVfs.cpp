#include "data/CoalescingVfs.h"

#include "base/InvexaError.h"

#include <sqlite3.h>

#include <cstdio>
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
    char *buf;           // BufferBytes, made at the first gathered write; null for files passed straight on
    bool gather;         // the table's file or its journal
    sqlite3_int64 start; // where the gathered bytes go
    int length;          // how many are gathered
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

// The base file's method, once the gathered bytes are written; a failure to write them is the call's.
template <typename Call> int AfterFlush(sqlite3_file *file, Call call) {
    TFile *f = Of(file);
    const int rc = Flush(f);
    return rc != SQLITE_OK ? rc : call(f->real, f->real->pMethods);
}

int Truncate(sqlite3_file *file, sqlite3_int64 size) {
    return AfterFlush(file, [&](sqlite3_file *r, const sqlite3_io_methods *m) { return m->xTruncate(r, size); });
}
int Sync(sqlite3_file *file, int flags) {
    return AfterFlush(file, [&](sqlite3_file *r, const sqlite3_io_methods *m) { return m->xSync(r, flags); });
}
int FileSize(sqlite3_file *file, sqlite3_int64 *size) {
    return AfterFlush(file, [&](sqlite3_file *r, const sqlite3_io_methods *m) { return m->xFileSize(r, size); });
}
int Lock(sqlite3_file *file, int level) {
    return AfterFlush(file, [&](sqlite3_file *r, const sqlite3_io_methods *m) { return m->xLock(r, level); });
}
int FileControl(sqlite3_file *file, int op, void *arg) {
    return AfterFlush(file, [&](sqlite3_file *r, const sqlite3_io_methods *m) { return m->xFileControl(r, op, arg); });
}
// Unlocked even when the gathered bytes could not be written: SQLite does not try an unlock twice.
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

int SectorSize(sqlite3_file *file) {
    TFile *f = Of(file);
    return f->real->pMethods->xSectorSize(f->real);
}

// Never "written in the order of the calls": SQLite would then skip the journal's sync before it writes the
// table, and gathered journal bytes could reach the disk after the table's pages.
int DeviceCharacteristics(sqlite3_file *file) {
    TFile *f = Of(file);
    return f->real->pMethods->xDeviceCharacteristics(f->real) & ~SQLITE_IOCAP_SEQUENTIAL;
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
const sqlite3_io_methods Methods = {2,
                                    Close,
                                    Read,
                                    Write,
                                    Truncate,
                                    Sync,
                                    FileSize,
                                    Lock,
                                    Unlock,
                                    CheckReservedLock,
                                    FileControl,
                                    SectorSize,
                                    DeviceCharacteristics,
                                    ShmMap,
                                    ShmLock,
                                    ShmBarrier,
                                    ShmUnmap,
                                    nullptr,
                                    nullptr};

// The base VFS's own table with the file's opening replaced; its other calls get this VFS in place of theirs,
// with the same application data.
struct TVfs {
    sqlite3_vfs vfs; // first: SQLite hands the open its address
    sqlite3_vfs *base;
    char name[64];
};

int Open(sqlite3_vfs *vfs, sqlite3_filename name, sqlite3_file *file, int flags, int *outFlags) {
    sqlite3_vfs *base = reinterpret_cast<TVfs *>(vfs)->base;
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

} // namespace

const char *Over(const std::string &base) {
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<TVfs>> made; // kept for the process's life, as SQLite holds them
    std::lock_guard lock(mutex);
    if (auto it = made.find(base); it != made.end())
        return it->second->name;
    sqlite3_vfs *under = sqlite3_vfs_find(base.empty() ? nullptr : base.c_str());
    if (!under)
        throw EInvexaError("No SQLite VFS named " + base);
    auto v = std::make_unique<TVfs>();
    v->base = under;
    std::snprintf(v->name, sizeof v->name, "invexa-coalescing%s%.40s", base.empty() ? "" : "-", base.c_str());
    sqlite3_vfs &vfs = v->vfs;
    vfs = *under;
    vfs.pNext = nullptr;
    vfs.szOsFile = static_cast<int>(sizeof(TFile)) + under->szOsFile;
    vfs.zName = v->name;
    vfs.xOpen = Open;
    if (sqlite3_vfs_register(&vfs, 0) != SQLITE_OK)
        throw EInvexaError(std::string("Cannot register the SQLite VFS ") + v->name);
    return made.emplace(base, std::move(v)).first->second->name;
}

} // namespace invexa::CoalescingVfs
