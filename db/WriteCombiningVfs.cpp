#include "WriteCombiningVfs.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

namespace {

// SQLite's own file layer hands the system at most 128 KB less one byte per
// call and reports a longer write as a full disk; 1 MB runs gained nothing
// over 64 KB ones for 40 MB written and synced on the two-core test machine.
constexpr std::size_t kRunBytes = std::size_t{64} << 10;

struct Layer {
    sqlite3_vfs vfs{};
    sqlite3_vfs* under = nullptr;
};

// SQLite allocates the layer's szOsFile bytes for each file and hands them to
// xOpen: this object first, the file of the system underneath right after it.
struct CombiningFile {
    sqlite3_file base;  // first: all that SQLite itself looks at
    sqlite3_file* real = nullptr;
    // Only the main database and its rollback journal: temporary files and
    // a WAL are written and read in ways a run would only delay.
    bool combine = false;
    sqlite3_int64 runStart = 0;
    std::vector<char> run;
};
static_assert(std::is_standard_layout_v<CombiningFile>);

constexpr int kFileBytes =
    static_cast<int>((sizeof(CombiningFile) + alignof(std::max_align_t) - 1) /
                     alignof(std::max_align_t) * alignof(std::max_align_t));

CombiningFile* Of(sqlite3_file* file) {
    return reinterpret_cast<CombiningFile*>(file);
}
sqlite3_vfs* Under(sqlite3_vfs* vfs) {
    return static_cast<Layer*>(vfs->pAppData)->under;
}
const sqlite3_io_methods* Real(CombiningFile* f) {
    return f->real->pMethods;
}

// The run goes to the file; whatever happens, it is no longer held, so that
// nothing stale is written after SQLite has reacted to the error.
int Flush(CombiningFile* f) {
    if (f->run.empty())
        return SQLITE_OK;
    const int rc =
        Real(f)->xWrite(f->real, f->run.data(), static_cast<int>(f->run.size()), f->runStart);
    f->run.clear();
    return rc;
}

int Close(sqlite3_file* file) {
    CombiningFile* f = Of(file);
    const int flushed = Flush(f);
    const int closed = Real(f)->xClose(f->real);
    std::destroy_at(f);
    return flushed != SQLITE_OK ? flushed : closed;
}

// `call` sees the file with every write held here made.
template <typename Call>
int AfterFlush(sqlite3_file* file, Call call) {
    CombiningFile* f = Of(file);
    if (const int rc = Flush(f); rc != SQLITE_OK)
        return rc;
    return call(f);
}

int Read(sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) {
    return AfterFlush(
        file, [&](CombiningFile* f) { return Real(f)->xRead(f->real, data, amount, offset); });
}

int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    CombiningFile* f = Of(file);
    const auto bytes = static_cast<std::size_t>(amount);
    if (!f->combine || amount <= 0)
        return Real(f)->xWrite(f->real, data, amount, offset);
    // Only a write that continues the run joins it: the file then receives
    // the same bytes in the same order as without the layer.
    const bool continues = !f->run.empty() &&
                           offset == f->runStart + static_cast<sqlite3_int64>(f->run.size()) &&
                           f->run.size() + bytes <= kRunBytes;
    if (!continues) {
        if (const int rc = Flush(f); rc != SQLITE_OK)
            return rc;
        if (bytes >= kRunBytes)
            return Real(f)->xWrite(f->real, data, amount, offset);
        f->runStart = offset;
    }
    // Within the room reserved at the open: no allocation here.
    const char* const from = static_cast<const char*>(data);
    f->run.insert(f->run.end(), from, from + bytes);
    return SQLITE_OK;
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
    return AfterFlush(file, [&](CombiningFile* f) { return Real(f)->xTruncate(f->real, size); });
}

int Sync(sqlite3_file* file, int flags) {
    return AfterFlush(file, [&](CombiningFile* f) { return Real(f)->xSync(f->real, flags); });
}

int FileSize(sqlite3_file* file, sqlite3_int64* size) {
    return AfterFlush(file, [&](CombiningFile* f) { return Real(f)->xFileSize(f->real, size); });
}

int Lock(sqlite3_file* file, int level) {
    CombiningFile* f = Of(file);
    return Real(f)->xLock(f->real, level);
}

// Another program may read the file as soon as the lock is gone (with
// synchronous off nothing else would have flushed the run).
int Unlock(sqlite3_file* file, int level) {
    CombiningFile* f = Of(file);
    const int flushed = Flush(f);
    const int unlocked = Real(f)->xUnlock(f->real, level);
    return flushed != SQLITE_OK ? flushed : unlocked;
}

int CheckReservedLock(sqlite3_file* file, int* reserved) {
    CombiningFile* f = Of(file);
    return Real(f)->xCheckReservedLock(f->real, reserved);
}

int FileControl(sqlite3_file* file, int op, void* arg) {
    CombiningFile* f = Of(file);
    return Real(f)->xFileControl(f->real, op, arg);
}

int SectorSize(sqlite3_file* file) {
    CombiningFile* f = Of(file);
    return Real(f)->xSectorSize(f->real);
}

// Batch atomic writes (some flash file systems) would commit with the end of
// a run still held here; without the capability SQLite uses its journal.
int DeviceCharacteristics(sqlite3_file* file) {
    CombiningFile* f = Of(file);
    return Real(f)->xDeviceCharacteristics(f->real) & ~SQLITE_IOCAP_BATCH_ATOMIC;
}

int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** memory) {
    CombiningFile* f = Of(file);
    if (Real(f)->iVersion < 2)
        return SQLITE_IOERR_SHMMAP;
    return Real(f)->xShmMap(f->real, region, size, extend, memory);
}

int ShmLock(sqlite3_file* file, int offset, int count, int flags) {
    CombiningFile* f = Of(file);
    if (Real(f)->iVersion < 2)
        return SQLITE_IOERR_SHMLOCK;
    return Real(f)->xShmLock(f->real, offset, count, flags);
}

void ShmBarrier(sqlite3_file* file) {
    CombiningFile* f = Of(file);
    if (Real(f)->iVersion >= 2)
        Real(f)->xShmBarrier(f->real);
}

int ShmUnmap(sqlite3_file* file, int deleteFlag) {
    CombiningFile* f = Of(file);
    if (Real(f)->iVersion < 2)
        return SQLITE_OK;
    return Real(f)->xShmUnmap(f->real, deleteFlag);
}

// A page seen in place through a memory map must hold what was written.
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** page) {
    CombiningFile* f = Of(file);
    *page = nullptr;
    if (const int rc = Flush(f); rc != SQLITE_OK)
        return rc;
    if (Real(f)->iVersion < 3)
        return SQLITE_OK;
    return Real(f)->xFetch(f->real, offset, amount, page);
}

int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
    CombiningFile* f = Of(file);
    if (Real(f)->iVersion < 3)
        return SQLITE_OK;
    return Real(f)->xUnfetch(f->real, offset, page);
}

const sqlite3_io_methods kMethods = {3,
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
                                     Fetch,
                                     Unfetch};

int Open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    file->pMethods = nullptr;
    CombiningFile* f = new (file) CombiningFile{};
    f->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + kFileBytes);
    f->real->pMethods = nullptr;
    f->combine = (flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_MAIN_JOURNAL)) != 0;
    if (f->combine) {
        try {
            f->run.reserve(kRunBytes);
        } catch (const std::bad_alloc&) {
            f->combine = false;  // no room for a run: the file is written directly
        }
    }
    sqlite3_vfs* under = Under(vfs);
    const int rc = under->xOpen(under, name, f->real, flags, outFlags);
    if (rc != SQLITE_OK || f->real->pMethods == nullptr) {
        // SQLite calls no xClose of ours after a failed open: the file
        // underneath is closed here when it says it needs that.
        if (f->real->pMethods != nullptr)
            f->real->pMethods->xClose(f->real);
        std::destroy_at(f);
        file->pMethods = nullptr;
        return rc != SQLITE_OK ? rc : SQLITE_CANTOPEN;
    }
    f->base.pMethods = &kMethods;
    return SQLITE_OK;
}

int Delete(sqlite3_vfs* vfs, const char* name, int syncDir) {
    return Under(vfs)->xDelete(Under(vfs), name, syncDir);
}
int Access(sqlite3_vfs* vfs, const char* name, int flags, int* result) {
    return Under(vfs)->xAccess(Under(vfs), name, flags, result);
}
int FullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
    return Under(vfs)->xFullPathname(Under(vfs), name, size, out);
}
void* DlOpen(sqlite3_vfs* vfs, const char* name) {
    return Under(vfs)->xDlOpen(Under(vfs), name);
}
void DlError(sqlite3_vfs* vfs, int size, char* message) {
    Under(vfs)->xDlError(Under(vfs), size, message);
}
void (*DlSym(sqlite3_vfs* vfs, void* library, const char* symbol))(void) {
    return Under(vfs)->xDlSym(Under(vfs), library, symbol);
}
void DlClose(sqlite3_vfs* vfs, void* library) {
    Under(vfs)->xDlClose(Under(vfs), library);
}
int Randomness(sqlite3_vfs* vfs, int size, char* out) {
    return Under(vfs)->xRandomness(Under(vfs), size, out);
}
int Sleep(sqlite3_vfs* vfs, int microseconds) {
    return Under(vfs)->xSleep(Under(vfs), microseconds);
}
int CurrentTime(sqlite3_vfs* vfs, double* now) {
    return Under(vfs)->xCurrentTime(Under(vfs), now);
}
int GetLastError(sqlite3_vfs* vfs, int size, char* message) {
    return Under(vfs)->xGetLastError ? Under(vfs)->xGetLastError(Under(vfs), size, message) : 0;
}
int CurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* now) {
    return Under(vfs)->xCurrentTimeInt64(Under(vfs), now);
}
int SetSystemCall(sqlite3_vfs* vfs, const char* name, sqlite3_syscall_ptr call) {
    return Under(vfs)->xSetSystemCall(Under(vfs), name, call);
}
sqlite3_syscall_ptr GetSystemCall(sqlite3_vfs* vfs, const char* name) {
    return Under(vfs)->xGetSystemCall(Under(vfs), name);
}
const char* NextSystemCall(sqlite3_vfs* vfs, const char* name) {
    return Under(vfs)->xNextSystemCall(Under(vfs), name);
}

}  // namespace

namespace {

// SQLite keeps a pointer to the layer until the program ends.
Layer* NewLayer(const char* name) {
    sqlite3_vfs* const below = sqlite3_vfs_find(nullptr);
    if (below == nullptr || below->iVersion < 1)
        return nullptr;
    static Layer layer;
    layer.under = below;
    sqlite3_vfs& vfs = layer.vfs;
    vfs.iVersion = below->iVersion < 3 ? below->iVersion : 3;
    vfs.szOsFile = kFileBytes + below->szOsFile;
    vfs.mxPathname = below->mxPathname;
    vfs.zName = name;
    vfs.pAppData = &layer;
    vfs.xOpen = Open;
    vfs.xDelete = Delete;
    vfs.xAccess = Access;
    vfs.xFullPathname = FullPathname;
    vfs.xDlOpen = below->xDlOpen ? DlOpen : nullptr;
    vfs.xDlError = below->xDlError ? DlError : nullptr;
    vfs.xDlSym = below->xDlSym ? DlSym : nullptr;
    vfs.xDlClose = below->xDlClose ? DlClose : nullptr;
    vfs.xRandomness = Randomness;
    vfs.xSleep = Sleep;
    vfs.xCurrentTime = CurrentTime;
    vfs.xGetLastError = GetLastError;
    if (vfs.iVersion >= 2)
        vfs.xCurrentTimeInt64 = below->xCurrentTimeInt64 ? CurrentTimeInt64 : nullptr;
    if (vfs.iVersion >= 3) {
        vfs.xSetSystemCall = below->xSetSystemCall ? SetSystemCall : nullptr;
        vfs.xGetSystemCall = below->xGetSystemCall ? GetSystemCall : nullptr;
        vfs.xNextSystemCall = below->xNextSystemCall ? NextSystemCall : nullptr;
    }
    return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK ? &layer : nullptr;
}

}  // namespace

const char* WriteCombiningVfs() {
    static const Layer* const layer = NewLayer("velkan-write-runs");
    return layer != nullptr ? layer->vfs.zName : nullptr;
}
