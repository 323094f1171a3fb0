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

int shimWrite(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset) {
    if (reinterpret_cast<ShimFile*>(f)->isLog && gShouldHalt()) {
        realOf(f)->pMethods->xWrite(realOf(f), buffer, amount / 2, offset);
        gHalt();
    }
    return realOf(f)->pMethods->xWrite(realOf(f), buffer, amount, offset);
}

// Every other call goes straight to the real file; the slot's type gives R and A.
template <auto Method, typename R, typename... A>
R pass(sqlite3_file* f, A... arguments) {
    return (realOf(f)->pMethods->*Method)(realOf(f), arguments...);
}

using M = sqlite3_io_methods;
const sqlite3_io_methods kShimMethods = {
    3,
    pass<&M::xClose>,
    pass<&M::xRead>,
    shimWrite,
    pass<&M::xTruncate>,
    pass<&M::xSync>,
    pass<&M::xFileSize>,
    pass<&M::xLock>,
    pass<&M::xUnlock>,
    pass<&M::xCheckReservedLock>,
    pass<&M::xFileControl>,
    pass<&M::xSectorSize>,
    pass<&M::xDeviceCharacteristics>,
    pass<&M::xShmMap>,
    pass<&M::xShmLock>,
    pass<&M::xShmBarrier>,
    pass<&M::xShmUnmap>,
    pass<&M::xFetch>,
    pass<&M::xUnfetch>,
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

std::vector<std::string> sqliteRows(const std::filesystem::path& file, const char* sql) {
    sqlite3* raw = nullptr;
    std::vector<std::string> rows;
    if (sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        rows.push_back(std::string("cannot open: ") + sqlite3_errmsg(raw));
    } else {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(raw, sql, -1, &statement, nullptr) != SQLITE_OK) {
            rows.push_back(std::string("error: ") + sqlite3_errmsg(raw));
        }
        while (statement && sqlite3_step(statement) == SQLITE_ROW) {
            std::string row;
            for (int c = 0; c < sqlite3_column_count(statement); ++c) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
                row += (c ? "|" : "") + std::string(text ? text : "");
            }
            rows.push_back(row);
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(raw);
    return rows;
}

}  // namespace jw::test
