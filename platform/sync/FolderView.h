#pragma once
// The cloud folder as this device sees it at the start of a merge: the other devices'
// registrations and change files, and the baselines that count. Read once per merge by
// lookAtFolder (worker thread); what it finds out of place is reported through the context.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "Baselines.h"
#include "CloudFileSystem.h"
#include "CloudLayout.h"
#include "EngineContext.h"

namespace jw::sync {

// The other devices' registrations. Not `complete` when the folder could not be read through
// (an I/O error proves nothing): compaction then removes nothing, since a device it did not
// see may still need every file.
struct Registrations {
    std::map<std::string, DeviceRegistration> byDevice;
    bool complete = true;
};

// Every other device's change files by sequence; devices whose folder could not be listed are
// in `unlisted` (their files are not known to be missing).
struct FolderFiles {
    std::map<std::string, std::vector<std::int64_t>> byDevice;
    std::set<std::string> unlisted;
};

struct FolderView {
    Registrations registrations;
    FolderFiles others;
    std::vector<BaselineRef> baselines;  // the baselines that count (see Baselines.h)
};

// `devices` is the listing of the devices folder.
FolderView lookAtFolder(EngineContext& context, const CloudListing& devices);
Registrations readRegistrations(EngineContext& context, const CloudListing& devices);

// The other devices this device has something to take in from: those with a folder here, and
// those a baseline here holds files of.
std::set<std::string> otherDevices(EngineContext& context, const FolderView& folder);

}  // namespace jw::sync
