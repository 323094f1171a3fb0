#include "Cases.h"

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

#include "RawSqlite.h"
#include "ScreenCases.h"
#include "StallCases.h"
#include "SyncCases.h"
#include "WindowCases.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/store/FetchedResultsController.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ObjectModel.h"
#include "platform/store/PersistentContainer.h"
#include "platform/store/StoreConnection.h"
#include "src/model/Entities.h"
#include "src/model/JWDatabase.h"
#include "src/model/Operations.h"
#include "src/model/Ordering.h"

namespace jw::bench {

namespace {

// Iterations per repetition, and repetitions (the printed time is their median). Each side of
// a case gets the same numbers. Many short repetitions, shuffled across all cases, keep a busy
// moment of the machine from deciding a comparison; each lasts about 0.1 s here.
constexpr benchmark::IterationCount kOpenListIterations = 4;
constexpr benchmark::IterationCount kCheckItemIterations = 60;
constexpr benchmark::IterationCount kListsScreenIterations = 150;
constexpr int kRepetitions = 15;

// The list whose item is checked: its order moves a checked item, so the controller reports a
// move, the costliest change it has.
constexpr std::int16_t kCheckItemSortMode = 5;

// ---------------------------------------------------------------------------------------------
// Ours

// One open store connection with the application's object model, and fresh contexts on it.
// A fresh context has no objects yet, so everything a screen shows is built from rows, as on
// the first showing of a list; the connection (and its prepared statements) stays, as it does
// in the running application.
class OurStore {
  public:
    OurStore(const std::filesystem::path& file, const std::filesystem::path& resourceDirectory) {
        model_ = store::ObjectModel::fromFile(
            store::PersistentContainer::modelURL(resourceDirectory, "Jotwell"));
        model::registerModelClasses(*model_);
        connection_ = std::make_shared<store::StoreConnection>(file, model_);
    }

    std::shared_ptr<store::ManagedObjectContext> freshContext() const {
        return std::make_shared<store::ManagedObjectContext>(connection_);
    }

    const store::EntityDescription& listEntity() const { return model_->requireEntity("List"); }

  private:
    std::shared_ptr<store::ObjectModel> model_;
    std::shared_ptr<store::StoreConnection> connection_;
};

std::shared_ptr<model::List> listWithKey(store::ManagedObjectContext& context,
                                         const store::EntityDescription& listEntity,
                                         std::int64_t key) {
    auto list = std::static_pointer_cast<model::List>(
        context.objectWithID(store::ObjectID{&listEntity, key}));
    if (!list) {
        throw std::runtime_error("no list with key " + std::to_string(key));
    }
    return list;
}

// What a screen built: kept until the timer is paused, so that tearing it down is not counted
// (on either side: the baseline's rows are released the same way).
struct OursShown {
    std::shared_ptr<store::ManagedObjectContext> context;
    std::unique_ptr<store::FetchedResultsController> controller;
    std::size_t bytes = 0;
};

// Opens the list as the items screen does and reads every shown item's text. Appends the item
// keys in the order shown to `order` when given.
OursShown openListOurs(const OurStore& ours, std::int64_t listKey,
                       std::vector<std::int64_t>* order = nullptr) {
    OursShown shown;
    shown.context = ours.freshContext();
    auto list = listWithKey(*shown.context, ours.listEntity(), listKey);
    shown.controller = std::make_unique<store::FetchedResultsController>(
        model::itemsFetchRequest(list.get(), model::JWListFilter::none), shown.context);
    shown.controller->performFetch();
    for (const auto& object : shown.controller->fetchedObjects()) {
        const auto body = static_cast<const model::Item&>(*object).body();
        shown.bytes += body ? body->size() + 1 : 0;
        if (order) {
            order->push_back(object->objectID().key);
        }
    }
    return shown;
}

// The lists screen: every list in order with its counts text.
OursShown listsScreenOurs(const OurStore& ours) {
    OursShown shown;
    shown.context = ours.freshContext();
    shown.controller = std::make_unique<store::FetchedResultsController>(
        model::listsFetchRequest(false), shown.context);
    shown.controller->performFetch();
    shown.bytes += bytesOfListsShown(*shown.controller);
    return shown;
}

class CountingDelegate : public store::FetchedResultsControllerDelegate {
  public:
    void controllerWillChangeContent(store::FetchedResultsController&) override { ++batches; }
    void controllerDidChangeObject(store::FetchedResultsController&, store::ManagedObject&,
                                   const store::IndexPath*, store::ChangeType,
                                   const store::IndexPath*) override {
        ++changes;
    }
    std::size_t batches = 0;
    std::size_t changes = 0;
};

// ---------------------------------------------------------------------------------------------
// Baseline: plain SQLite, plain structs

struct ItemRow {
    std::int64_t key = 0;
    std::array<unsigned char, 16> globalID{};
    std::optional<std::string> body;
    std::optional<double> created;
    std::optional<double> doneDate;
    std::int64_t importance = 0;
    bool isDone = false;
    std::optional<std::string> note;
    std::optional<double> reminderDate;
    std::int64_t sortNumber = 0;
    std::int64_t stars = 0;
    std::int64_t forList = 0;
};

struct ListRow {
    std::int64_t key = 0;
    std::array<unsigned char, 16> globalID{};
    std::optional<std::string> name;
    std::int64_t doneCount = 0;
    std::int64_t itemCount = 0;
    std::optional<std::string> countsText;
    float doneFraction = 0;
};

void readGlobalID(const RawStatement& row, int column, std::array<unsigned char, 16>& out) {
    const auto* bytes =
        static_cast<const unsigned char*>(sqlite3_column_blob(row.handle(), column));
    if (bytes && sqlite3_column_bytes(row.handle(), column) == 16) {
        std::copy(bytes, bytes + 16, out.begin());
    }
}

// The ORDER BY of each stored sort mode, written out by hand.
const char* baselineItemOrder(std::int16_t sortMode) {
    switch (sortMode) {
        case 1:
            return "\"body\" ASC, \"created\" DESC, \"_gid\" ASC";
        case 5:
            return "\"isDone\" DESC, \"doneDate\" DESC, \"created\" DESC, \"_gid\" ASC";
        case 6:
            return "\"isDone\" ASC, \"doneDate\" DESC, \"created\" DESC, \"_gid\" ASC";
        case 7:
            return "\"sortNumber\" ASC, \"created\" DESC, \"_gid\" ASC";
        default:
            return "\"created\" DESC, \"_gid\" ASC";
    }
}

class BaselineOpenList {
  public:
    BaselineOpenList(const std::filesystem::path& file, std::int16_t sortMode)
        : db_(file),
          select_(db_, std::string("SELECT \"_key\", \"_gid\", \"body\", \"created\", "
                                   "\"doneDate\", \"importance\", \"isDone\", \"note\", "
                                   "\"reminderDate\", \"sortNumber\", \"stars\", \"forList\" "
                                   "FROM \"Item\" WHERE \"forList\" = ? ORDER BY ") +
                           baselineItemOrder(sortMode)) {}

    struct Shown {
        std::vector<ItemRow> rows;
        std::size_t bytes = 0;
    };

    Shown open(std::int64_t listKey, std::vector<std::int64_t>* order = nullptr) {
        Shown shown;
        auto& rows = shown.rows;
        select_.bindInt(1, listKey);
        while (select_.step()) {
            ItemRow& r = rows.emplace_back();
            r.key = select_.integer(0);
            readGlobalID(select_, 1, r.globalID);
            r.body = select_.optionalText(2);
            r.created = select_.optionalReal(3);
            r.doneDate = select_.optionalReal(4);
            r.importance = select_.integer(5);
            r.isDone = select_.integer(6) != 0;
            r.note = select_.optionalText(7);
            r.reminderDate = select_.optionalReal(8);
            r.sortNumber = select_.integer(9);
            r.stars = select_.integer(10);
            r.forList = select_.integer(11);
        }
        select_.reset();
        for (const auto& r : rows) {
            shown.bytes += r.body ? r.body->size() + 1 : 0;
            if (order) {
                order->push_back(r.key);
            }
        }
        return shown;
    }

  private:
    RawDatabase db_;
    RawStatement select_;
};

class BaselineListsScreen {
  public:
    explicit BaselineListsScreen(const std::filesystem::path& file)
        : db_(file),
          select_(db_,
                  "SELECT \"_key\", \"_gid\", \"name\", \"doneCount\", \"_count_listItems\" "
                  "FROM \"List\" ORDER BY \"name\" ASC, \"_gid\" ASC") {}

    struct Shown {
        std::vector<ListRow> rows;
        std::size_t bytes = 0;
    };

    Shown show() {
        Shown shown;
        auto& rows = shown.rows;
        while (select_.step()) {
            ListRow& r = rows.emplace_back();
            r.key = select_.integer(0);
            readGlobalID(select_, 1, r.globalID);
            r.name = select_.optionalText(2);
            r.doneCount = select_.integer(3);
            r.itemCount = select_.integer(4);
            if (r.itemCount >= 1) {
                std::string text;
                if (r.doneCount >= 1) {
                    text += std::to_string(r.doneCount) + "/";
                }
                text += std::to_string(r.itemCount);
                r.countsText = std::move(text);
                r.doneFraction = float(r.doneCount) / float(r.itemCount);
            }
        }
        select_.reset();
        for (const auto& r : rows) {
            shown.bytes += (r.name ? r.name->size() : 0) +
                           (r.countsText ? r.countsText->size() : 0) + (r.doneFraction > 0.5f);
        }
        return shown;
    }

  private:
    RawDatabase db_;
    RawStatement select_;
};

// Checks and unchecks one item: its row, the list's recount and doneCount, one transaction.
class BaselineCheckItem {
  public:
    BaselineCheckItem(const std::filesystem::path& file, std::int64_t listKey, std::int64_t itemKey)
        : db_(file),
          begin_(db_, "BEGIN IMMEDIATE"),
          commit_(db_, "COMMIT"),
          updateItem_(db_,
                      "UPDATE \"Item\" SET \"isDone\" = ?, \"doneDate\" = ? WHERE \"_key\" = ?"),
          countDone_(db_, "SELECT COUNT(*) FROM \"Item\" WHERE \"forList\" = ? AND \"isDone\" = 1"),
          updateList_(db_, "UPDATE \"List\" SET \"doneCount\" = ? WHERE \"_key\" = ?"),
          listKey_(listKey),
          itemKey_(itemKey) {
        RawStatement read(db_, "SELECT \"isDone\" FROM \"Item\" WHERE \"_key\" = ?");
        read.bindInt(1, itemKey_);
        if (!read.step()) {
            throw std::runtime_error("no item with key " + std::to_string(itemKey_));
        }
        isDone_ = read.integer(0) != 0;
    }

    std::int64_t toggle() {
        isDone_ = !isDone_;
        begin_.run();
        updateItem_.bindInt(1, isDone_ ? 1 : 0);
        if (isDone_) {
            updateItem_.bindDouble(2, std::chrono::duration<double>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
        } else {
            updateItem_.bindNull(2);
        }
        updateItem_.bindInt(3, itemKey_);
        updateItem_.run();
        countDone_.bindInt(1, listKey_);
        countDone_.step();
        const std::int64_t done = countDone_.integer(0);
        countDone_.reset();
        updateList_.bindInt(1, done);
        updateList_.bindInt(2, listKey_);
        updateList_.run();
        commit_.run();
        return done;
    }

  private:
    RawDatabase db_;
    RawStatement begin_, commit_, updateItem_, countDone_, updateList_;
    std::int64_t listKey_, itemKey_;
    bool isDone_ = false;
};

// The two lowest item keys of a list: ours checks the first, the baseline the second, so that
// neither side's in-memory state is made stale by the other's writes to the same item.
std::pair<std::int64_t, std::int64_t> itemsToCheck(const std::filesystem::path& file,
                                                   std::int64_t listKey) {
    RawDatabase db(file);
    RawStatement select(
        db, "SELECT \"_key\" FROM \"Item\" WHERE \"forList\" = ? ORDER BY \"_key\" LIMIT 2");
    select.bindInt(1, listKey);
    std::array<std::int64_t, 2> keys{};
    for (auto& key : keys) {
        if (!select.step()) {
            throw std::runtime_error("the checked list has fewer than two items");
        }
        key = select.integer(0);
    }
    return {keys[0], keys[1]};
}

std::int64_t bigList(const GeneratedStore& store, std::int16_t sortMode) {
    auto it = store.bigListBySortMode.find(sortMode);
    if (it == store.bigListBySortMode.end()) {
        throw std::runtime_error("no big list for sort mode " + std::to_string(sortMode));
    }
    return it->second;
}

// Times `show()`, which builds a screen's content; the content is released with the timer paused.
template <typename Show>
void timeShowing(benchmark::State& state, Show&& show) {
    for (auto _ : state) {
        auto shown = show();
        benchmark::DoNotOptimize(shown.bytes);
        state.PauseTiming();
        { auto released = std::move(shown); }
        state.ResumeTiming();
    }
}

benchmark::internal::Benchmark* configure(benchmark::internal::Benchmark* b,
                                          benchmark::IterationCount iterations) {
    return b->Iterations(iterations)->Repetitions(kRepetitions)->Unit(benchmark::kMillisecond);
}

}  // namespace

std::size_t bytesOfListsShown(const store::FetchedResultsController& controller) {
    std::size_t bytes = 0;
    for (const auto& object : controller.fetchedObjects()) {
        const auto& list = static_cast<const model::List&>(*object);
        const auto name = list.name();
        const auto [text, fraction] = list.progressInfo("", "");
        bytes += (name ? name->size() : 0) + (text ? text->size() : 0) + (fraction > 0.5f);
    }
    return bytes;
}

CheckedItem checkedItemOf(const GeneratedStore& store) {
    const std::int64_t list = bigList(store, kCheckItemSortMode);
    return {list, itemsToCheck(store.file, list).first};
}

void checkItemOurs(benchmark::State& state, const Environment& env, const GeneratedStore& store,
                   CheckedItem checked, const std::function<void(model::JWDatabase&)>& afterSave) {
    guarded(state, [&](benchmark::State& s) {
        std::optional<UserDefaults> settings;
        model::JWDatabase::Locations where{store.directory, env.resourceDirectory};
        if (store.cloudDirectory) {
            settings.emplace(store.directory / "settings.json");
            where.cloudDirectory = store.cloudDirectory;
            where.settings = &*settings;
        }
        model::JWDatabase db(where);
        auto context = db.sharedViewContext();
        const auto& model = context->model();
        auto list = listWithKey(*context, model.requireEntity("List"), checked.list);
        store::FetchedResultsController controller(
            model::itemsFetchRequest(list.get(), model::JWListFilter::none), context);
        controller.performFetch();
        CountingDelegate delegate;
        controller.setDelegate(&delegate);
        auto item = std::static_pointer_cast<model::Item>(
            context->objectWithID(store::ObjectID{&model.requireEntity("Item"), checked.item}));
        auto check = [&] {
            model::toggleItem(db, *item);
            context->processPendingChanges();
            if (afterSave) {
                afterSave(db);
            }
        };
        // Warm-up: check and uncheck once (the first recount reads the members).
        check();
        check();
        delegate.changes = 0;
        for (auto _ : s) {
            check();
        }
        if (delegate.changes == 0) {
            s.SkipWithError("the fetched-results delegate heard of no change");
        }
    });
}

const std::vector<SortModeCase>& measuredSortModes() {
    static const std::vector<SortModeCase> modes = {{1, "alphabetical"},
                                                    {3, "latestCreated"},
                                                    {5, "checkedFirst"},
                                                    {6, "checkedLast"},
                                                    {7, "manual"}};
    return modes;
}

std::vector<CaseLine> caseTable() {
    std::vector<CaseLine> lines;
    for (const auto& mode : measuredSortModes()) {
        const std::string name = std::string("open_list_") + mode.name;
        lines.push_back({name, name + "/ours", name + "/baseline", 1.5});
    }
    lines.push_back({"check_item", "check_item/ours", "check_item/baseline", 2.0});
    lines.push_back({"lists_screen", "lists_screen/ours", "lists_screen/baseline", 2.0});
    lines.push_back({"lists_screen_scaling", "lists_screen/ours", "lists_screen_10k/ours", 1.3});
    for (auto& line : syncCaseTable()) {
        lines.push_back(std::move(line));
    }
    for (auto& line : stallCaseTable()) {
        lines.push_back(std::move(line));
    }
    for (auto& line : screenCaseTable()) {
        lines.push_back(std::move(line));
    }
    for (auto& line : windowCaseTable()) {
        lines.push_back(std::move(line));
    }
    return lines;
}

void registerCases(const Environment& env) {
    for (const auto& mode : measuredSortModes()) {
        const std::string name = std::string("open_list_") + mode.name;
        const std::int64_t listKey = bigList(env.large, mode.code);
        const std::int16_t code = mode.code;
        configure(benchmark::RegisterBenchmark(
                      (name + "/ours").c_str(),
                      [&env, listKey](benchmark::State& state) {
                          guarded(state, [&](benchmark::State& s) {
                              OurStore ours(env.large.file, env.resourceDirectory);
                              openListOurs(ours, listKey);  // warm-up
                              timeShowing(s, [&] { return openListOurs(ours, listKey); });
                          });
                      }),
                  kOpenListIterations);
        configure(benchmark::RegisterBenchmark(
                      (name + "/baseline").c_str(),
                      [&env, listKey, code](benchmark::State& state) {
                          guarded(state, [&](benchmark::State& s) {
                              BaselineOpenList baseline(env.large.file, code);
                              baseline.open(listKey);  // warm-up
                              timeShowing(s, [&] { return baseline.open(listKey); });
                          });
                      }),
                  kOpenListIterations);
    }

    const std::int64_t checkedList = bigList(env.checks, kCheckItemSortMode);
    const auto [oursItem, baselineItem] = itemsToCheck(env.checks.file, checkedList);
    const CheckedItem checked = checkedItemOf(env.checks);
    configure(benchmark::RegisterBenchmark("check_item/ours",
                                           [&env, checked](benchmark::State& state) {
                                               checkItemOurs(state, env, env.checks, checked);
                                           }),
              kCheckItemIterations);
    configure(benchmark::RegisterBenchmark(
                  "check_item/baseline",
                  [&env, checkedList, baselineItem = baselineItem](benchmark::State& state) {
                      guarded(state, [&](benchmark::State& s) {
                          BaselineCheckItem baseline(env.checks.file, checkedList, baselineItem);
                          baseline.toggle();  // warm-up, twice to end where it began
                          baseline.toggle();
                          for (auto _ : s) {
                              benchmark::DoNotOptimize(baseline.toggle());
                          }
                      });
                  }),
              kCheckItemIterations);

    auto listsScreen = [&env](const GeneratedStore& store) {
        return [&env, &store](benchmark::State& state) {
            guarded(state, [&](benchmark::State& s) {
                OurStore ours(store.file, env.resourceDirectory);
                listsScreenOurs(ours);  // warm-up
                timeShowing(s, [&] { return listsScreenOurs(ours); });
            });
        };
    };
    configure(benchmark::RegisterBenchmark("lists_screen/ours", listsScreen(env.large)),
              kListsScreenIterations);
    configure(benchmark::RegisterBenchmark("lists_screen_10k/ours", listsScreen(env.small)),
              kListsScreenIterations);
    configure(benchmark::RegisterBenchmark("lists_screen/baseline",
                                           [&env](benchmark::State& state) {
                                               guarded(state, [&](benchmark::State& s) {
                                                   BaselineListsScreen baseline(env.large.file);
                                                   baseline.show();  // warm-up
                                                   timeShowing(s, [&] { return baseline.show(); });
                                               });
                                           }),
              kListsScreenIterations);
    registerSyncCases(env);
    registerStallCases(env);
    registerScreenCases(env);
    registerWindowCases(env);
}

std::vector<std::string> casesWithDifferentOrders(const Environment& env) {
    std::vector<std::string> differing;
    OurStore ours(env.large.file, env.resourceDirectory);
    for (const auto& mode : measuredSortModes()) {
        const std::int64_t listKey = bigList(env.large, mode.code);
        std::vector<std::int64_t> oursOrder, baselineOrder;
        openListOurs(ours, listKey, &oursOrder);
        BaselineOpenList(env.large.file, mode.code).open(listKey, &baselineOrder);
        if (oursOrder != baselineOrder || oursOrder.size() != env.large.shape.bigListItems) {
            differing.push_back(std::string("open_list_") + mode.name);
        }
    }
    return differing;
}

}  // namespace jw::bench
