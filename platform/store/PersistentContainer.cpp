#include "PersistentContainer.h"

#include <fmt/format.h>

#include <stdexcept>

#include "StoreConnection.h"
#include "platform/foundation/RunLoop.h"

namespace jw::store {

PersistentContainer::PersistentContainer(std::string name, std::shared_ptr<ObjectModel> model,
                                         std::filesystem::path storeDirectory)
    : name_(std::move(name)), model_(std::move(model)), directory_(std::move(storeDirectory)) {}

PersistentContainer::~PersistentContainer() = default;

std::filesystem::path PersistentContainer::modelURL(const std::filesystem::path& resourceDirectory,
                                                    const std::string& name) {
    return resourceDirectory / (name + ".momd");
}

void PersistentContainer::loadPersistentStores(
    const std::function<void(const StoreError*)>& completion) {
    const auto file = directory_ / (name_ + ".sqlite");
    try {
        std::error_code ec;
        std::filesystem::create_directories(directory_, ec);
        if (ec) {
            throw StoreError(
                "The store's folder could not be created",
                fmt::format("{{folder: {}, error: {}}}", directory_.string(), ec.message()));
        }
        auto connection = std::make_shared<StoreConnection>(file, model_);
        viewContext_ = std::make_shared<ManagedObjectContext>(connection);
        storeURL_ = file;
        std::weak_ptr<ManagedObjectContext> weak = viewContext_;
        // A release that falls due waits for a quiet moment: the event that read the objects
        // (a tap that opens a long list) then ends, and its frame is drawn, without the walk.
        auto quietRelease = std::make_shared<std::shared_ptr<Timer>>();
        mainRunLoop().addEndOfEventObserver([weak, quietRelease] {
            auto context = weak.lock();
            if (!context) {
                return;
            }
            context->processPendingChanges();
            if (!context->releaseIsDue()) {
                return;
            }
            if (ManagedObjectContext::objectReleaseFloor() == 0) {
                context->releaseUnreferencedObjects();
                return;
            }
            if (*quietRelease && (*quietRelease)->isValid()) {
                return;
            }
            *quietRelease =
                mainRunLoop().scheduleTimer(kReleaseAfterSeconds, false, [weak](Timer&) {
                    if (auto later = weak.lock()) {
                        later->releaseUnreferencedObjectsIfGrown();
                    }
                });
        });
    } catch (const StoreError& error) {
        completion(&error);
        return;
    }
    completion(nullptr);
}

ManagedObjectContext& PersistentContainer::viewContext() const {
    if (!viewContext_) {
        throw std::logic_error("the persistent container's store is not loaded");
    }
    return *viewContext_;
}

std::shared_ptr<ManagedObjectContext> PersistentContainer::sharedViewContext() const {
    viewContext();
    return viewContext_;
}

}  // namespace jw::store
