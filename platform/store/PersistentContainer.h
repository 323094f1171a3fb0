#pragma once
// The store stack for one named store: the object model, the store file in a directory, and
// the main context (`viewContext`) through which the program reads and writes its objects.
//
// The store file is "<directory>/<name>.sqlite". loadPersistentStores() opens (or creates) it
// and reports the outcome once, synchronously; a store that failed to load leaves viewContext()
// unusable (it throws std::logic_error). The main context processes its pending changes at the
// end of every event of the main run loop, so observers hear of edits the way a UI toolkit
// would tell them. Main thread only.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ManagedObjectContext.h"
#include "ObjectModel.h"
#include "StoreError.h"

namespace jw::store {

class StoreConnection;

class PersistentContainer {
  public:
    PersistentContainer(std::string name, std::shared_ptr<ObjectModel> model,
                        std::filesystem::path storeDirectory);
    ~PersistentContainer();

    // The model resource "<resourceDirectory>/<name>.momd".
    static std::filesystem::path modelURL(const std::filesystem::path& resourceDirectory,
                                          const std::string& name);

    // How long after the main run-loop event that made a release of unreferenced objects due
    // the view context's release runs (see ManagedObjectContext::releaseIsDue).
    static constexpr double kReleaseAfterSeconds = 0.25;

    // Opens the store; calls `completion` once with nothing on success or the error.
    void loadPersistentStores(const std::function<void(const StoreError*)>& completion);

    const std::string& name() const { return name_; }
    const ObjectModel& managedObjectModel() const { return *model_; }
    // The loaded store file (valid after a successful load).
    const std::filesystem::path& storeURL() const { return storeURL_; }
    ManagedObjectContext& viewContext() const;
    std::shared_ptr<ManagedObjectContext> sharedViewContext() const;

  private:
    std::string name_;
    std::shared_ptr<ObjectModel> model_;
    std::filesystem::path directory_;
    std::filesystem::path storeURL_;
    std::shared_ptr<ManagedObjectContext> viewContext_;
};

}  // namespace jw::store
