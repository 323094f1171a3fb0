// A process killed while it saves loses nothing it was told was saved, and leaves a store
// that SQLite finds sound. Each round starts the crash writer on the same store, lets it save
// for a while, kills it with SIGKILL, checks the file with SQLite's own integrity check and
// then reopens the store and compares it with every save the writer acknowledged. Rounds
// alternate between a kill at a random moment of the save loop and a kill while the writer
// is stopped halfway through writing the store's log, in the middle of a save of a chosen
// kind: early in it (a torn first page) or later (after whole pages of it reached the log).

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "CrashWriterProtocol.h"
#include "ModelTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/HaltingSqliteLayer.h"

namespace jw::model {
namespace {

using support::ModelTest;

struct ItemState {
    std::string body;
    bool isDone = false;
    bool operator==(const ItemState&) const = default;
};

// The operation that had begun but whose save was not acknowledged when the writer died.
struct InFlight {
    std::uint64_t save = 0;
    std::string kind;  // "insert", "edit" or "toggle"
    std::string id;    // edit, toggle
    bool isDone = false;
};

class CrashSafety : public ModelTest {
  protected:
    // What the store must hold: every acknowledged save, by item global identifier.
    std::map<std::string, ItemState> acknowledged;
    std::optional<InFlight> inFlight;
    std::uint64_t nextSave = 1;
    int acknowledgedThisRound = 0;
    bool haltedThisRound = false;

    CrashSafety() {
        newList(db(), crashtest::kListName);
        reopen();
    }

    // Folds one line of the writer's output into what the store must hold.
    void take(const std::string& line) {
        std::istringstream in(line);
        std::string word;
        std::uint64_t n = 0;
        in >> word >> n;
        if (word == "begin") {
            InFlight op;
            op.save = n;
            in >> op.kind;
            if (op.kind != "insert") {
                in >> op.id;
            }
            if (op.kind == "toggle") {
                int done = 0;
                in >> done;
                op.isDone = done != 0;
            }
            inFlight = op;
        } else if (word == "saved") {
            ASSERT_TRUE(inFlight && inFlight->save == n)
                << "an acknowledgement out of turn: " << line;
            if (inFlight->kind == "insert") {
                std::string id;
                in >> id;
                acknowledged[id] = {crashtest::itemText(n), false};
            } else if (inFlight->kind == "edit") {
                acknowledged.at(inFlight->id).body = crashtest::itemText(n);
            } else {
                acknowledged.at(inFlight->id).isDone = inFlight->isDone;
            }
            inFlight.reset();
            nextSave = n + 1;
            ++acknowledgedThisRound;
        } else if (word == "halt") {
            haltedThisRound = true;
        } else {
            ADD_FAILURE() << "unexpected output from the writer: " << line;
        }
    }

    // Runs the writer until it has acknowledged `saves` saves (and, when halting, until it
    // stopped inside the first save of `haltKind` after them), then kills it and reads what it
    // wrote until then.
    void runAndKill(std::uint32_t seed, int saves, const std::string& haltKind, int haltAtLogWrite,
                    int extraMicroseconds) {
        acknowledgedThisRound = 0;
        haltedThisRound = false;
        const bool haltInsideASave = !haltKind.empty();
        const std::uint64_t haltSave = haltInsideASave ? nextSave + std::uint64_t(saves) : 0;
        test::ChildProcess writer(std::vector<std::string>{
            JOTWELL_CRASH_WRITER, directory().string(), support::modelResourceDirectory().string(),
            std::to_string(seed), std::to_string(nextSave), std::to_string(haltSave),
            std::to_string(haltAtLogWrite), haltInsideASave ? haltKind : "none"});
        while (haltInsideASave ? !haltedThisRound : acknowledgedThisRound < saves) {
            auto line = writer.nextLine();
            ASSERT_TRUE(line) << "the writer stopped talking after " << acknowledgedThisRound
                              << " saves";
            take(*line);
        }
        if (extraMicroseconds > 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(extraMicroseconds));
        }
        EXPECT_TRUE(writer.killAndWait()) << "the writer ended otherwise than by SIGKILL";
        while (auto line = writer.nextLine()) {
            take(*line);
        }
    }

    // Reopens the store and checks it against the acknowledged saves; the one save in flight
    // may be there or not. Afterwards the store's state is what the next round builds on.
    void checkStoreAfterCrash(const std::string& round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(test::integrityCheck(directory() / "Jotwell.sqlite"), "ok");

        reopen();
        auto list = fetchListNamed(crashtest::kListName);
        ASSERT_NE(list, nullptr);
        std::map<std::string, ItemState> stored;
        int done = 0;
        for (const auto& item : fetchItems(list.get())) {
            stored[item->globalID().toString()] = {item->body().value_or(""), item->isDone()};
            done += item->isDone() ? 1 : 0;
        }

        // A save is all or nothing: the count saved with every check is the true count, and
        // the item count kept by the store matches the items there.
        EXPECT_EQ(list->doneCount(), done);
        EXPECT_EQ(list->listItemsCount(), stored.size());

        std::map<std::string, ItemState> expectedIfApplied = acknowledged;
        if (inFlight) {
            if (inFlight->kind == "insert") {
                for (const auto& [id, state] : stored) {
                    if (!acknowledged.count(id)) {
                        expectedIfApplied[id] = {crashtest::itemText(inFlight->save), false};
                    }
                }
            } else if (inFlight->kind == "edit") {
                expectedIfApplied.at(inFlight->id).body = crashtest::itemText(inFlight->save);
            } else {
                expectedIfApplied.at(inFlight->id).isDone = inFlight->isDone;
            }
        }
        const bool asAcknowledged = stored == acknowledged;
        const bool withTheSaveInFlight = inFlight && stored == expectedIfApplied;
        EXPECT_TRUE(asAcknowledged || withTheSaveInFlight)
            << stored.size() << " items stored, " << acknowledged.size()
            << " acknowledged; save in flight: "
            << (inFlight ? std::to_string(inFlight->save) + " " + inFlight->kind : "none");
        if (!asAcknowledged && withTheSaveInFlight && inFlight->kind == "insert") {
            EXPECT_EQ(stored.size(), acknowledged.size() + 1);
        }
        acknowledged = stored;
        if (inFlight) {
            nextSave = inFlight->save + 1;
            inFlight.reset();
        }
    }
};

TEST_F(CrashSafety, EveryAcknowledgedSaveSurvivesAKillAndTheStoreStaysSound) {
    struct Round {
        std::string haltKind;  // empty: killed at a random moment
        int logWrite = 0;      // the log write the writer stops in
    };
    // Write 1 tears the first page's frame header; 3 and 4 come after a whole page of the
    // save reached the log (a check writes the item's page and the list's).
    const std::vector<Round> rounds = {{}, {"toggle", 1}, {}, {"insert", 2}, {}, {"edit", 4},
                                       {}, {"toggle", 3}, {}, {"toggle", 4}};
    std::mt19937 random(7);
    for (std::size_t r = 0; r < rounds.size(); ++r) {
        const auto& round = rounds[r];
        const bool halt = !round.haltKind.empty();
        const int saves = std::uniform_int_distribution<int>(5, 40)(random);
        const int extra = halt ? 0 : std::uniform_int_distribution<int>(0, 3000)(random);
        const std::string name =
            "round " + std::to_string(r) + (halt ? " (halted in a " + round.haltKind + ")" : "");
        closeDatabase();  // the writer is the only one with the store open
        runAndKill(std::uint32_t(100 + r), saves, round.haltKind, round.logWrite, extra);
        if (HasFatalFailure()) {
            return;
        }
        EXPECT_GE(acknowledgedThisRound, saves) << name;
        if (halt) {
            EXPECT_TRUE(haltedThisRound) << name;
            // Stopped inside a save: begun, never acknowledged.
            ASSERT_TRUE(inFlight.has_value()) << name;
            EXPECT_EQ(inFlight->kind, round.haltKind) << name;
        }
        checkStoreAfterCrash(name);
    }
    EXPECT_GT(acknowledged.size(), 10u);
}

}  // namespace
}  // namespace jw::model
