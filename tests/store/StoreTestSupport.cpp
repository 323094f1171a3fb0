#include "tests/store/StoreTestSupport.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <set>
#include <sstream>
#include <utility>

#include "platform/store/StoreConnection.h"

namespace jw::store::test {

std::shared_ptr<ObjectModel> loadListModel() {
    const char* configured = std::getenv("JOTWELL_RESOURCE_DIR");
    const std::filesystem::path resources = configured && *configured
                                                ? std::filesystem::path(configured)
                                                : std::filesystem::path(JOTWELL_TEST_RESOURCE_DIR);
    return ObjectModel::fromFile(PersistentContainer::modelURL(resources, "Jotwell"));
}

StoreTest::StoreTest()
    : model(loadListModel()),
      container(),
      forList(model->requireEntity("Item").requireRelationship("forList")),
      listItems(model->requireEntity("List").requireRelationship("listItems")),
      inFolder(model->requireEntity("List").requireRelationship("inFolder")) {
    container = openContainer();
}

StoreTest::~StoreTest() {
    setCommitHook(storeFile(), {});
}

std::string StoreTest::load(PersistentContainer& c) {
    int calls = 0;
    std::string outcome = "loaded";
    c.loadPersistentStores([&](const StoreError* error) {
        ++calls;
        outcome = error ? "refused: " + std::string(error->what()) : "loaded";
    });
    return calls == 1 ? outcome : std::to_string(calls) + " calls";
}

std::unique_ptr<PersistentContainer> StoreTest::openContainer(const std::string& name) {
    auto opened = std::make_unique<PersistentContainer>(name, model, folder.path());
    EXPECT_EQ(load(*opened), "loaded");
    return opened;
}

void StoreTest::relaunch() {
    remembered_.clear();
    container.reset();
    container = openContainer();
}

ManagedObjectContext& StoreTest::elsewhere() {
    if (!other) {
        other = std::make_shared<ManagedObjectContext>(
            std::make_shared<StoreConnection>(storeFile(), loadListModel()));
        elsewhereToken_ = other->addSaveObserver(
            [this](const ContextDidSaveNotification& note) { savedElsewhere_.push_back(note); });
    }
    return *other;
}

std::size_t StoreTest::mergeElsewhere() {
    elsewhere().save();
    const auto saves = std::move(savedElsewhere_);
    savedElsewhere_.clear();
    for (const auto& note : saves) {
        context().mergeChangesFromContextDidSaveNotification(note);
    }
    return saves.size();
}

std::shared_ptr<ManagedObject> StoreTest::newList(ManagedObjectContext& c, std::string_view name,
                                                  std::int64_t sortNumber) {
    auto list = c.insertNewObject("List");
    list->setValue("name", text(name));
    list->setValue("sortNumber", integer(sortNumber));
    return list;
}

std::shared_ptr<ManagedObject> StoreTest::newItem(ManagedObjectContext& c, ManagedObject* list,
                                                  std::string_view body, std::int64_t sortNumber) {
    auto item = c.insertNewObject("Item");
    item->setValue("body", text(body));
    item->setValue("sortNumber", integer(sortNumber));
    item->setToOne(item->entity().requireRelationship("forList"),
                   list);  // in any copy of the model
    return item;
}

// An object's name, or an item's body.
static std::string nameOf(const ManagedObject& object) {
    const auto* attribute = object.entity().attribute("name");
    attribute = attribute ? attribute : object.entity().attribute("body");
    return stringOf(object.valueAt(attribute->index)).value_or("?");
}

std::shared_ptr<ManagedObject> StoreTest::named(ManagedObjectContext& c, const std::string& name) {
    auto& known = remembered_[{&c, name}];
    for (const char* entity : {"Item", "List", "Folder"}) {
        if (!known && name != "-") {
            const char* key = entity == std::string("Item") ? "body" : "name";
            auto found =
                c.executeFetchRequest(FetchRequest::forEntity(entity).where(key, text(name)));
            known = found.size() == 1 ? found[0] : nullptr;
        }
    }
    EXPECT_TRUE(known || name == "-") << "nothing is named " << name;
    return known;
}

std::string StoreTest::run(const std::string& script) {
    std::vector<std::string> out;
    std::istringstream steps(script);
    for (std::string step; std::getline(steps, step, ';');) {
        std::istringstream words(step);
        std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
        auto& c = !w.empty() && w[0] == "there" ? elsewhere() : context();
        w.erase(w.begin(), w.begin() + (&c == other.get()));
        w.resize(4);
        const auto number = [](const std::string& n) { return n.empty() ? 0 : std::stoi(n); };
        const auto relationship = [](ManagedObject & o, const char* name) -> auto& {
            return o.entity().requireRelationship(name);
        };
        const auto& verb = w[0];
        if (verb == "list") {
            remembered_[{&c, w[1]}] = newList(c, w[1], number(w[2]));
        } else if (verb == "add") {
            remembered_[{&c, w[1]}] = newItem(c, named(c, w[2]).get(), w[1], number(w[3]));
        } else if (verb == "folder") {
            auto& folder = remembered_[{&c, w[1]}] = c.insertNewObject("Folder");
            folder->setValue("name", text(w[1]));
        } else if (verb == "move") {
            const auto object = named(c, w[1]);
            object->setToOne(relationship(*object, "forList"), named(c, w[2]).get());
        } else if (verb == "link") {
            const auto object = named(c, w[1]);
            object->setToOne(relationship(*object, w[2].c_str()), named(c, w[3]).get());
        } else if (verb == "set") {
            const bool isText = w[2] != "sortNumber" && w[2] != "stars";
            named(c, w[1])->setValue(w[2], isText ? text(w[3]) : integer(number(w[3])));
        } else if (verb == "delete") {
            c.deleteObject(*named(c, w[1]));
        } else if (verb == "fetch") {
            c.executeFetchRequest(itemsOf(named(c, w[1]).get()));
        } else if (verb == "extra") {
            for (const char* name : {"Home", "Work", "Third"}) {
                newItem(c, named(c, name).get(), "extra");
            }
        } else if (verb == "save") {
            int told = 0;
            const auto token = c.addSaveObserver([&](const auto&) { ++told; });
            try {
                c.save();
                if (told != 1) {
                    out.push_back("save told " + std::to_string(told));
                }
            } catch (const StoreError&) {
                out.push_back("save refused" + std::string(told ? ", yet told" : ""));
            }
        } else if (verb == "relaunch") {
            relaunch();
        } else if (verb == "refuse") {
            RawDatabase raw(storeFile());
            raw.execute(w[1] == "-" ? std::string("DROP TRIGGER \"refuse\"")
                                    : fmt::format("CREATE TRIGGER \"refuse\" BEFORE {} ON \"Item\" "
                                                  "BEGIN SELECT RAISE(ABORT, 'refused'); END",
                                                  w[1]));
        } else if (verb == "hook") {
            RawDatabase(storeFile()).execute("CREATE TABLE IF NOT EXISTS \"hook_log\" (\"n\")");
            hookFails_ = w[1] == "fail";
            setCommitHook(storeFile(), [this](SqliteDatabase& db, const auto& changes) {
                heard_.push_back(changes);
                db.execute("INSERT INTO \"hook_log\" VALUES (1)");
                if (std::exchange(hookFails_, false)) {
                    throw StoreError("The change log could not be written", "{test: refused}");
                }
            });
        } else if (verb == "unhook") {
            setCommitHook(storeFile(), {});
        } else if (verb == "heard") {
            out.push_back(heard());
        } else if (verb == "state") {
            const auto object = named(c, w[1]);
            const auto name = nameOf(*object);
            out.push_back(w[1] + (name == w[1] ? "" : "=" + name) + ": " + state(*object, c));
        } else if (verb == "count") {
            const auto object = named(c, w[1]);
            const bool list = object->entity().name == "List";
            const auto& members = w[2].empty() ? list ? "listItems" : "lists" : w[2];
            out.push_back(fmt::format("{} {}", w[1],
                                      object->toManyCount(relationship(*object, members.c_str()))));
        } else if (verb == "to") {
            const auto* target = named(c, w[1])->toOne(relationship(*named(c, w[1]), w[2].c_str()));
            out.push_back(w[1] + "." + w[2] + " " + (target ? nameOf(*target) : "-"));
        } else if (verb == "key") {
            out.push_back(w[1] + " #" + std::to_string(named(c, w[1])->objectID().key));
        } else if (verb == "stored") {
            out.push_back(stored());
        } else {
            ADD_FAILURE() << "no such step: " << step;
        }
    }
    return fmt::format("{}", fmt::join(out, "; "));
}

std::string StoreTest::state(const ManagedObject& o, ManagedObjectContext& c) {
    std::string s = o.isFault() ? "fault " : "";
    s += o.isInserted() ? "inserted " : o.isUpdated() ? "updated " : "";
    s += o.isDeleted() ? "deleted " : "";
    s += o.objectID().isTemporary() ? "temporary" : "permanent";
    s += o.managedObjectContext() ? "" : " detached";
    // One object per row, however reached; a deleted one is not found, even before a save.
    const bool alive = !o.isDeleted() && o.managedObjectContext();
    EXPECT_EQ(c.existingObjectWithGlobalID(o.entity(), o.globalID()).get(), alive ? &o : nullptr);
    EXPECT_EQ(c.existingObjectWithURI(o.uriRepresentation()).get(), alive ? &o : nullptr);
    return s + (c.hasChanges() ? " | changes" : " | clean");
}

std::string StoreTest::contents(ManagedObjectContext& c) {
    std::string out;
    for (const auto& list : c.executeFetchRequest(listsByNumber().sortedBy("name", true))) {
        const auto* folder = list->toOne(inFolder);
        out += nameOf(*list) + (folder ? "[" + nameOf(*folder) + "]" : "") + " " +
               std::to_string(list->toManyCount(listItems)) + ":";
        auto members = list->toMany(listItems);
        std::sort(members.begin(), members.end(), [](auto* l, auto* r) {
            const int bySortNumber = compareValues(l->value("sortNumber"), r->value("sortNumber"));
            return bySortNumber ? bySortNumber < 0
                                : compareValues(l->value("body"), r->value("body")) < 0;
        });
        for (auto* item : members) {
            out += " " + nameOf(*item);
            if (auto note = stringOf(item->value("note"))) {
                out += "~" + *note;
            }
            if (item->value("stars") != integer(0)) {
                out += "*" + describeValue(item->value("stars"));
            }
        }
        out += " | ";
    }
    return out;
}

std::string StoreTest::stored() {
    auto reader = openContainer();
    RawDatabase raw(storeFile());
    return contents(reader->viewContext()) +
           fmt::format("{} items, {} folders", raw.integer("SELECT COUNT(*) FROM \"Item\""),
                       raw.integer("SELECT COUNT(*) FROM \"Folder\""));
}

std::string StoreTest::heard() {
    const auto named = [&](const GlobalID& id) -> const ManagedObject* {
        for (const auto& [name, object] : remembered_) {
            if (object && object->globalID() == id) {
                return object.get();
            }
        }
        return nullptr;
    };
    std::vector<std::string> saves;
    for (const auto& save : heard_) {
        std::set<std::string> lines;
        for (const auto& c : save.changes) {
            const char* kinds[] = {"insert", "update", "remove"};
            const auto* object = named(c.globalID);
            std::string line = std::string(kinds[int(c.kind)]) + " " +
                               (object ? nameOf(*object) : "?") +
                               (object && object->objectID().key != c.key ? " (wrong key)" : "");
            if (c.kind == CommittedChange::Kind::insert) {
                EXPECT_EQ(c.attributes.size(), c.entity->attributes.size());
                line += " all";
            } else {
                for (const auto& [index, value] : c.attributes) {
                    line += " " + c.entity->attributes[index].name + "=" + describeValue(value);
                }
            }
            for (const auto& [slot, target] : c.toOnes) {
                const auto* to = target ? named(*target) : nullptr;
                line += " -> " + (to ? nameOf(*to) : target ? "?" : "none");
            }
            lines.insert(line);
        }
        saves.push_back(fmt::format("{}", fmt::join(lines, ", ")));
    }
    return fmt::format("{} [{} logged]", fmt::join(saves, "; "),
                       RawDatabase(storeFile()).integer("SELECT COUNT(*) FROM \"hook_log\""));
}

std::string describeChanges(const std::vector<ObjectsDidChange>& reports) {
    std::set<std::string> inserted, updated, deleted;
    for (const auto& change : reports) {
        std::set<const ManagedObject*> once;
        for (const auto& o : change.inserted) {
            inserted.insert("+" + nameOf(*o));
        }
        for (const auto& u : change.updated) {
            std::string keys;
            for (const auto& a : u.object->entity().attributes) {
                keys += u.changedKeys.test(a.index) ? "," + a.name : "";
            }
            for (const auto& r : u.object->entity().relationships) {
                keys += u.changedKeys.test(32 + r.index) ? "," + r.name : "";
            }
            EXPECT_TRUE(once.insert(u.object.get()).second) << "reported twice";
            updated.insert("~" + nameOf(*u.object) + "[" + keys.substr(1) + "]");
        }
        for (const auto& o : change.deleted) {
            deleted.insert("-" + nameOf(*o));
        }
    }
    std::vector<std::string> parts(inserted.begin(), inserted.end());
    parts.insert(parts.end(), updated.begin(), updated.end());
    parts.insert(parts.end(), deleted.begin(), deleted.end());
    return jw::test::joined(parts, " ");
}

}  // namespace jw::store::test
