#pragma once
// The whole store as change files: every object with every value and the stamp each value
// carries, plus (with removals) every removal and every change waiting for its object.
// Applying a snapshot anywhere brings that device at least to the state the snapshot was
// taken in, and never undoes anything newer. Runs inside the caller's transaction.

#include <cstddef>
#include <string>
#include <vector>

#include "ChangeFile.h"
#include "ObjectChange.h"
#include "platform/store/GlobalID.h"
#include "platform/store/StoreConnection.h"

namespace jw::sync {

// Written straight from the store's rows to the bytes of files, at most `perFile` objects
// each (at least one file, if empty), numbered from `first.sequence` on and otherwise headed
// as `first`. A value left at its default under the creation stamp is left out (see
// ChangeFile.h). Objects without a creation stamp (made before the store was attached) get
// `stampForNew`, which is recorded as their creation stamp.
std::vector<std::string> snapshotFiles(store::StoreConnection& connection, const Stamp& stampForNew,
                                       bool includeRemovals, const ChangeFileHeader& first,
                                       std::size_t perFile);

}  // namespace jw::sync
