#include "HaltingSqliteLayer.h"

#include <sqlite3.h>

#include <cstdlib>

namespace jw::test {
namespace {

LogWriteHook gShouldHalt = nullptr;
HaltHook gHalt = nullptr;
sqlite3_vfs* gRealVfs = nullptr;

struct ShimFile {
    sqlite3_file base;
    sqlite3_file* real;
    bool isLog;
};

sqlite3_file* realOf(sqlite3_file* f) {
    return reinterpret_cast<ShimFile*>(f)->real;
}

int shimClose(sqlite3_file* f) {
    return realOf(f)->pMethods->xClose(realOf(f));
}
int shimRead(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset) {
    return realOf(f)->pMethods->xRead(realOf(f), buffer, amount, offset);
}
int shimWrite(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset) {
    if (reinterpret_cast<ShimFile*>(f)->isLog && gShouldHalt()) {
        realOf(f)->pMethods->xWrite(realOf(f), buffer, amount / 2, offset);
        gHalt();
    }
    return realOf(f)->pMethods->xWrite(realOf(f), buffer, amount, offset);
}
int shimTruncate(sqlite3_file* f, sqlite3_int64 size) {
    return realOf(f)->pMethods->xTruncate(realOf(f), size);
}
int shimSync(sqlite3_file* f, int flags) {
    return realOf(f)->pMethods->xSync(realOf(f), flags);
}
int shimFileSize(sqlite3_file* f, sqlite3_int64* size) {
    return realOf(f)->pMethods->xFileSize(realOf(f), size);
}
int shimLock(sqlite3_file* f, int level) {
    return realOf(f)->pMethods->xLock(realOf(f), level);
}
int shimUnlock(sqlite3_file* f, int level) {
    return realOf(f)->pMethods->xUnlock(realOf(f), level);
}
int shimCheckReservedLock(sqlite3_file* f, int* out) {
    return realOf(f)->pMethods->xCheckReservedLock(realOf(f), out);
}
int shimFileControl(sqlite3_file* f, int op, void* arg) {
    return realOf(f)->pMethods->xFileControl(realOf(f), op, arg);
}
int shimSectorSize(sqlite3_file* f) {
    return realOf(f)->pMethods->xSectorSize(realOf(f));
}
int shimDeviceCharacteristics(sqlite3_file* f) {
    return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f));
}
int shimShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    return realOf(f)->pMethods->xShmMap(realOf(f), region, size, extend, out);
}
int shimShmLock(sqlite3_file* f, int offset, int n, int flags) {
    return realOf(f)->pMethods->xShmLock(realOf(f), offset, n, flags);
}
void shimShmBarrier(sqlite3_file* f) {
    realOf(f)->pMethods->xShmBarrier(realOf(f));
}
int shimShmUnmap(sqlite3_file* f, int deleteFlag) {
    return realOf(f)->pMethods->xShmUnmap(realOf(f), deleteFlag);
}
int shimFetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
    return realOf(f)->pMethods->xFetch(realOf(f), offset, amount, out);
}
int shimUnfetch(sqlite3_file* f, sqlite3_int64 offset, void* page) {
    return realOf(f)->pMethods->xUnfetch(realOf(f), offset, page);
}

const sqlite3_io_methods kShimMethods = {
    3,
    shimClose,
    shimRead,
    shimWrite,
    shimTruncate,
    shimSync,
    shimFileSize,
    shimLock,
    shimUnlock,
    shimCheckReservedLock,
    shimFileControl,
    shimSectorSize,
    shimDeviceCharacteristics,
    shimShmMap,
    shimShmLock,
    shimShmBarrier,
    shimShmUnmap,
    shimFetch,
    shimUnfetch,
};

int shimOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    auto* shim = reinterpret_cast<ShimFile*>(f);
    shim->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(f) + sizeof(ShimFile));
    shim->isLog = (flags & SQLITE_OPEN_WAL) != 0;
    const int rc = gRealVfs->xOpen(gRealVfs, name, shim->real, flags, outFlags);
    shim->base.pMethods = shim->real->pMethods ? &kShimMethods : nullptr;
    return rc;
}

sqlite3_vfs gShimVfs;

}  // namespace

void installHaltingSqliteLayer(const char* name, LogWriteHook shouldHalt, HaltHook halt) {
    gShouldHalt = shouldHalt;
    gHalt = halt;
    gRealVfs = sqlite3_vfs_find(nullptr);
    gShimVfs = *gRealVfs;
    gShimVfs.zName = name;
    gShimVfs.szOsFile = int(sizeof(ShimFile)) + gRealVfs->szOsFile;
    gShimVfs.xOpen = shimOpen;
    gShimVfs.pNext = nullptr;
    if (sqlite3_vfs_register(&gShimVfs, 1) != SQLITE_OK) {
        std::_Exit(4);
    }
}

std::string integrityCheck(const std::filesystem::path& file) {
    sqlite3* raw = nullptr;
    std::string result;
    if (sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        result = std::string("cannot open: ") + sqlite3_errmsg(raw);
    } else {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(raw, "PRAGMA integrity_check", -1, &statement, nullptr);
        while (statement && sqlite3_step(statement) == SQLITE_ROW) {
            result += (result.empty() ? "" : "; ");
            result += reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(raw);
    return result;
}

}  // namespace jw::test
