#pragma once
// The compactor: writes a baseline (the whole store) once enough change files are in the
// folder, removes this device's change files that a baseline holds and every device in touch
// has applied, and its own baselines that a higher one replaces; and, once per run, the
// temporary files its own writes cut short by a crash left behind. Worker thread only, but
// for the baseline's file, which is written on a thread of its own (see compact).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "EngineContext.h"
#include "Exporter.h"
#include "FolderView.h"
#include "platform/foundation/Date.h"

namespace jw::sync {

class Compactor {
  public:
    // `baselineWritten` is called on the baseline's own thread once its file is written (or
    // failed to be); the owner then calls finishBaseline on the worker.
    Compactor(EngineContext& context, Exporter& exporter, std::function<void()> baselineWritten)
        : context_(context), exporter_(exporter), baselineWritten_(std::move(baselineWritten)) {}
    // Waits for a baseline being written; it is then left unrecorded (the next compaction
    // writes another).
    ~Compactor();
    Compactor(const Compactor&) = delete;
    Compactor& operator=(const Compactor&) = delete;

    void removeStaleTemporaryFiles();
    // Compacts what `folder` shows. When a baseline is due, the store is read for it in a read
    // transaction begun here, and its file is encoded and written on a thread of its own, so
    // that exports go on meanwhile: compact then returns with baselineUnderWay() true, and
    // what follows the baseline (recording it, removing what it replaces) waits for
    // finishBaseline. While a baseline is under way, compact does nothing.
    void compact(Date now, FolderView& folder);
    bool baselineUnderWay() const { return job_ != nullptr; }
    // Waits for the baseline under way, records it and announces it when its file was
    // written (`folder` gains it), then compacts what `folder` shows. Nothing when none is
    // under way.
    void finishBaseline(Date now, FolderView& folder);

  private:
    struct BaselineJob;

    std::int64_t storeObjectCount();
    // Begins a baseline of what `coverage` says the store holds; false when the store no
    // longer matches it (a save came in between) or the read could not begin.
    bool startBaseline(const Coverage& coverage);
    void removeReplaced(Date now, FolderView& folder);

    EngineContext& context_;
    Exporter& exporter_;
    std::function<void()> baselineWritten_;
    bool lookedForTemporaryFiles_ = false;
    std::shared_ptr<BaselineJob> job_;
    std::thread writer_;
};

}  // namespace jw::sync
