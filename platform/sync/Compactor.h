#pragma once
// The compactor: writes a baseline (the whole store) once enough change files are in the
// folder, removes this device's change files that a baseline holds and every device in touch
// has applied, and its own baselines that a higher one replaces; and, once per run, the
// temporary files its own writes cut short by a crash left behind. Worker thread only.

#include <cstdint>
#include <optional>

#include "EngineContext.h"
#include "Exporter.h"
#include "FolderView.h"
#include "platform/foundation/Date.h"

namespace jw::sync {

class Compactor {
  public:
    Compactor(EngineContext& context, Exporter& exporter)
        : context_(context), exporter_(exporter) {}

    void removeStaleTemporaryFiles();
    // `folder` gains the baseline written, if any.
    void compact(Date now, FolderView& folder);

  private:
    std::int64_t storeObjectCount();
    std::optional<BaselineRef> writeBaseline(const Coverage& coverage);

    EngineContext& context_;
    Exporter& exporter_;
    bool lookedForTemporaryFiles_ = false;
};

}  // namespace jw::sync
