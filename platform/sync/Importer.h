#pragma once
// The importer: applies the other devices' change files and baselines to the store, each file
// in one transaction with its bookkeeping. A refused file is skipped with a log line and tried
// again at the next merge; anything else thrown fails the merge (it reaches the caller).
// Worker thread only.

#include <cstdint>
#include <functional>
#include <string>

#include "ChangeFile.h"
#include "EngineContext.h"
#include "FolderView.h"

namespace jw::sync {

class Importer {
  public:
    explicit Importer(EngineContext& context) : context_(context) {}

    // What the main context saved since the last merge may need the engine's attention (see
    // ChangeApplier::settleLocalChanges); the context hears of it like of any merge.
    void settleLocalChanges();

    // Each other device's files in order, as far as they go; where the next one is missing,
    // or there and refused, the baseline that reaches furthest into that device's files closes
    // the gap. Files past a gap still come in (in any order) but never move the device's
    // watermark past the gap: what its files hold beyond it arrives when the gap is closed.
    // A file is applied in transactions of at most tuning.changesPerTransaction changes and
    // about tuning.transactionTime, the last one recording it as applied: a file cut off
    // between them is applied again whole at the next merge (applying is idempotent), and a
    // refused file changes nothing (every change is checked before the first is applied).
    // `betweenFiles` (when given) runs on the worker between those transactions and after each
    // file or baseline applied; `waiting` (when given) is asked during a transaction, which
    // ends early when it answers true (something waits for betweenFiles, a save's export).
    void importAll(const FolderView& folder, const std::function<void()>& betweenFiles = {},
                   const std::function<bool()>& waiting = {});

    // The other devices' files not applied yet, for status(): those in the folder, and those
    // the writer's registration or a baseline here says were written (a baseline here holds
    // them for the next merge; otherwise they have not arrived).
    void countFilesToImport(const FolderView& folder, PersistentStoreEnsemble::Status& s);

  private:
    bool expectsMore(const FolderView& folder, const std::string& other, std::int64_t next);
    bool importChangeFile(const Registrations& registrations, const std::string& writer,
                          std::int64_t seq);
    bool importBaseline(const Registrations& registrations, const BaselineRef& baseline);
    void importEach(const FolderView& folder, const std::function<void()>& betweenFiles);
    bool importFile(const Registrations& registrations, const std::string& writer,
                    const std::string& path, const std::string& kind, std::int64_t seq);
    // Applies a checked file in slices (see importAll); throws what the applier throws.
    void applyInSlices(const ChangeFile& file, const std::string& writer, std::int64_t seq);

    EngineContext& context_;
    std::function<void()> betweenFiles_;  // importAll's, while it runs
    std::function<bool()> waiting_;       // likewise
};

}  // namespace jw::sync
