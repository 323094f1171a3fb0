#pragma once
// The attacher: attaches the store to the cloud folder (a device registered under a fresh
// identity, the whole store written as its first files straight from the store's rows), and
// tells whether the attachment still stands.
// Worker thread only.

#include <optional>

#include <string>
#include <vector>

#include "ChangeFile.h"
#include "EngineContext.h"
#include "Exporter.h"
#include "platform/foundation/Date.h"

namespace jw::sync {

class Attacher {
  public:
    Attacher(EngineContext& context, Exporter& exporter) : context_(context), exporter_(exporter) {}

    // Attaches the store; nothing to do when it is attached already, unless `afresh`. With
    // `afresh`, attaches whatever the state: the attachment there was (if any) stands until
    // the new one is in place, so an attach that fails changes nothing.
    std::optional<SyncError> attach(Date now, bool afresh);
    // Writes the first files an attach still owes (none when it wrote them all): the store as
    // it is now, under new numbers; the numbers an earlier try claimed are written again as
    // empty files, so that none stays missing and no reader mixes parts of two snapshots.
    // Changes saved since the attach are pending as usual and go out after. A file that
    // cannot be written is the error (unavailable); the next merge tries again.
    std::optional<SyncError> writeFirstFiles();
    // A fresh attachment whatever the state, under a new identity; the old registration goes.
    std::optional<SyncError> reattach(Date now);

    // Whether the attachment still stands, as far as the folder can tell: none when it does,
    // else why not. Only `lost` ends it (see endAttachment); everything else proves nothing.
    std::optional<SyncError> checkAttachment();
    // Records in the store that the attachment is lost; isLeeched() is false from now on.
    void endAttachment();

  private:
    // Writes `files`, numbered from the claimed firstFilesFrom on; all written, the claim ends.
    std::optional<SyncError> writeClaimed(const std::vector<std::string>& files);
    ChangeFileHeader firstHeader(std::int64_t sequence) const;

    EngineContext& context_;
    Exporter& exporter_;
};

}  // namespace jw::sync
