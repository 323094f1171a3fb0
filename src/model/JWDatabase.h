#pragma once
// The one database of the program: the store stack named "Jotwell" (its object model is the
// resource "Jotwell.momd"), its main context, and saving. One instance lives for the whole
// process (`sharedDatabase`); screens and jotwell-cli save through it after every change.
//
// Creation stops the program when the model resource is missing or the store cannot be
// loaded; a failed save stops it too, with the "Unresolved error " message. Main thread only.

#include <filesystem>
#include <memory>

#include "platform/store/ManagedObjectContext.h"
#include "platform/store/PersistentContainer.h"

namespace jw::model {

class JWDatabase {
  public:
    struct Locations {
        std::filesystem::path dataDirectory;      // where "Jotwell.sqlite" lives
        std::filesystem::path resourceDirectory;  // where "Jotwell.momd" is found
    };

    explicit JWDatabase(const Locations& locations);
    ~JWDatabase();
    JWDatabase(const JWDatabase&) = delete;
    JWDatabase& operator=(const JWDatabase&) = delete;

    store::PersistentContainer& persistentContainer() { return *persistentContainer_; }
    store::ManagedObjectContext& viewContext() { return persistentContainer_->viewContext(); }
    std::shared_ptr<store::ManagedObjectContext> sharedViewContext() {
        return persistentContainer_->sharedViewContext();
    }
    const std::filesystem::path& storeURL() const { return persistentContainer_->storeURL(); }
    const std::filesystem::path& managedObjectModelURL() const { return managedObjectModelURL_; }

    // Saves the main context when it has changes.
    void saveContext(bool willResignActive);

  private:
    std::filesystem::path managedObjectModelURL_;
    std::unique_ptr<store::PersistentContainer> persistentContainer_;
};

// The application-wide database; none until one is set at launch.
JWDatabase* sharedDatabase();
void setSharedDatabase(std::shared_ptr<JWDatabase> database);

}  // namespace jw::model
