#include "JWDatabase.h"

#include <fmt/format.h>

#include "Entities.h"
#include "platform/foundation/DebugLog.h"
#include "platform/foundation/Fatal.h"

namespace jw::model {

namespace {
std::shared_ptr<JWDatabase> gSharedDatabase;
}

JWDatabase::JWDatabase(const Locations& locations) {
    managedObjectModelURL_ =
        store::PersistentContainer::modelURL(locations.resourceDirectory, "Jotwell");
    std::shared_ptr<store::ObjectModel> model;
    try {
        model = store::ObjectModel::fromFile(managedObjectModelURL_);
        registerModelClasses(*model);
    } catch (const store::StoreError& error) {
        fatalError(error.description(), error.userInfo());
    } catch (const std::logic_error& error) {
        fatalError("The object model does not fit this program", error.what());
    }
    persistentContainer_ = std::make_unique<store::PersistentContainer>("Jotwell", std::move(model),
                                                                        locations.dataDirectory);
    persistentContainer_->loadPersistentStores([](const store::StoreError* error) {
        if (error) {
            fatalError(error->description(), error->userInfo());
        }
    });
    debugLog("PSC location: file://" + storeURL().string());
}

JWDatabase::~JWDatabase() = default;

void JWDatabase::saveContext(bool /*willResignActive*/) {
    auto& context = viewContext();
    if (context.hasChanges()) {
        try {
            context.save();
        } catch (const store::StoreError& error) {
            fatalError(error.description(), error.userInfo());
        }
    }
}

JWDatabase* sharedDatabase() {
    return gSharedDatabase.get();
}

void setSharedDatabase(std::shared_ptr<JWDatabase> database) {
    gSharedDatabase = std::move(database);
}

}  // namespace jw::model
