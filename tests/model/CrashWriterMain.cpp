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
#include "tests/support/HaltingSqliteLayer.h"

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
    jw::test::installHaltingSqliteLayer(
        "jotwell-crash-writer", [] { return gArmed && --gLogWritesToHalt <= 0; },
        [] {
            say("halt " + std::to_string(gHaltSave));
            for (;;) {
                pause();
            }
        });

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
