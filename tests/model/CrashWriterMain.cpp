// The crash writer: saves in a loop until it is killed (see CrashWriterProtocol.h).
//
//   model_crash_writer <data folder> <resource folder> <seed> <first save number>
//                      <halt from save number, 0 for never> <halt at log write>
//                      <halt in: insert, toggle or edit>
//
// The halt point is made with a small SQLite file layer in front of the default one: it
// passes everything through, counts the writes to the write-ahead log from the first save of
// the chosen kind at or after the halt save number, and at the chosen write stores only half
// of the bytes, says "halt" and waits to be killed. The killed process has then left a torn
// log behind, in the middle of a save. (SQLite writes each page of a save to the log as two
// writes, a frame header and the page, so a later write number stops later in the save.)

#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "CrashWriterProtocol.h"
#include "src/model/Entities.h"
#include "src/model/JWDatabase.h"
#include "src/model/Operations.h"
#include "src/model/Ordering.h"

namespace {

using namespace jw::model;

void say(const std::string& line) {
    const std::string text = line + "\n";
    std::size_t written = 0;
    while (written < text.size()) {
        const auto n = ::write(STDOUT_FILENO, text.data() + written, text.size() - written);
        if (n <= 0) {
            std::_Exit(3);
        }
        written += std::size_t(n);
    }
}

// --- The halting file layer ----------------------------------------------------------------

bool gArmed = false;        // a save of the kind to halt in has begun
long gLogWritesToHalt = 0;  // log writes still to pass through before halting
std::uint64_t gHaltSave = 0;

struct ShimFile {
    sqlite3_file base;
    sqlite3_file* real;
    bool isLog;
};

sqlite3_vfs* gRealVfs = nullptr;

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
    auto* shim = reinterpret_cast<ShimFile*>(f);
    if (shim->isLog && gArmed && --gLogWritesToHalt <= 0) {
        realOf(f)->pMethods->xWrite(realOf(f), buffer, amount / 2, offset);
        say("halt " + std::to_string(gHaltSave));
        for (;;) {
            pause();
        }
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

void installHaltingFileLayer() {
    gRealVfs = sqlite3_vfs_find(nullptr);
    gShimVfs = *gRealVfs;
    gShimVfs.zName = "jotwell-crash-writer";
    gShimVfs.szOsFile = int(sizeof(ShimFile)) + gRealVfs->szOsFile;
    gShimVfs.xOpen = shimOpen;
    gShimVfs.pNext = nullptr;
    if (sqlite3_vfs_register(&gShimVfs, 1) != SQLITE_OK) {
        std::_Exit(4);
    }
}

// --- The loop ------------------------------------------------------------------------------

int run(int argc, char** argv) {
    if (argc != 8) {
        std::fprintf(stderr, "usage: %s data resources seed first halt-save halt-write halt-kind\n",
                     argv[0]);
        return 2;
    }
    const std::string data = argv[1], resources = argv[2];
    std::mt19937 random(std::uint32_t(std::strtoul(argv[3], nullptr, 10)));
    std::uint64_t n = std::strtoull(argv[4], nullptr, 10);
    gHaltSave = std::strtoull(argv[5], nullptr, 10);
    gLogWritesToHalt = std::strtol(argv[6], nullptr, 10);
    const std::string haltKind = argv[7];
    installHaltingFileLayer();

    JWDatabase db({data, resources});
    std::shared_ptr<List> list;
    for (auto& o : db.viewContext().executeFetchRequest(listsFetchRequest(false))) {
        if (static_cast<List&>(*o).name() == crashtest::kListName) {
            list = std::static_pointer_cast<List>(o);
        }
    }
    if (!list) {
        std::fprintf(stderr, "no list named %s\n", crashtest::kListName);
        return 2;
    }
    std::vector<std::shared_ptr<Item>> items;
    for (auto& o :
         db.viewContext().executeFetchRequest(itemsFetchRequest(list.get(), JWListFilter::none))) {
        items.push_back(std::static_pointer_cast<Item>(o));
    }

    auto pick = [&]() -> Item& {
        return *items[std::uniform_int_distribution<std::size_t>(0, items.size() - 1)(random)];
    };
    auto armFor = [&](const char* kind) {
        if (!gArmed && gHaltSave != 0 && n >= gHaltSave && haltKind == kind) {
            gArmed = true;
            gHaltSave = n;
        }
    };
    for (;; ++n) {
        const int roll = std::uniform_int_distribution<int>(0, 99)(random);
        if (items.size() < 3 || roll < 40) {
            armFor("insert");
            say("begin " + std::to_string(n) + " insert");
            auto item = newItem(db, *list, crashtest::itemText(n));
            items.push_back(item);
            say("saved " + std::to_string(n) + " " + item->globalID().toString());
        } else if (roll < 75) {
            Item& item = pick();
            armFor("toggle");
            say("begin " + std::to_string(n) + " toggle " + item.globalID().toString() + " " +
                (item.isDone() ? "0" : "1"));
            toggleItem(db, item);
            say("saved " + std::to_string(n));
        } else {
            Item& item = pick();
            armFor("edit");
            say("begin " + std::to_string(n) + " edit " + item.globalID().toString());
            editItemText(db, item, crashtest::itemText(n));
            say("saved " + std::to_string(n));
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    return run(argc, argv);
}
