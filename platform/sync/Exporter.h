#pragma once
// The exporter: sends this device's local changes saved since the last export to the cloud
// folder as change files, and keeps this device's registration there up to date.
// Worker thread only.

#include <optional>

#include "EngineContext.h"
#include "platform/foundation/Date.h"

namespace jw::sync {

class Exporter {
  public:
    explicit Exporter(EngineContext& context) : context_(context) {}

    // Writes the pending records in files of at most tuning.maxRecordsPerFile records, oldest
    // first. A file that cannot be written is the error (unavailable); its records wait in the
    // store and go out at the next export, in the same file.
    std::optional<SyncError> exportPending();

    // Rewrites this device's registration when what others rely on changed (what it applied,
    // its baselines), and otherwise at most every tuning.registrationRefreshSeconds. A write
    // that fails is logged and tried again next time; it is not an error of the merge.
    void writeRegistration(Date now);

  private:
    EngineContext& context_;
};

}  // namespace jw::sync
