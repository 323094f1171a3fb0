#pragma once
// The one error type of the sync engine: a kind and a text for the user. Every step of the
// engine says how it failed with it, every completion carries it, and the cloud folder's
// statuses are turned into it where the engine meets them (cloudError).
//
// Only a refused file (`refused`) is an expected failure while merging: the file is skipped
// with a log line and tried again at the next merge, since a file-sync service may still be
// bringing the rest of it, or a newer version of this program may read it. Anything else on
// the way fails the merge and is reported through its completion; nothing is swallowed.

#include <stdexcept>
#include <string>

#include "CloudFileSystem.h"

namespace jw::sync {

struct SyncError {
    enum class Kind {
        unavailable,    // the cloud folder cannot be reached or read just now (an I/O error)
        notFound,       // a file or folder the step needs is not there
        refused,        // a file is not what its name says: partial, damaged, foreign, of a
                        // newer format, or holding a change this program cannot take in
        otherFolder,    // the store is attached to another cloud folder than this one
        notRecognised,  // the folder holds no ensemble, or not this device and no other
        lost,           // the attachment has ended (see PersistentStoreEnsemble.h)
        failed,         // anything else: a write refused, the local store failing, a fault
    };
    Kind kind = Kind::failed;
    std::string localizedDescription;
};

// The kind the cloud folder's status stands for: notFound and unavailable as they are; a bad
// path, an entry of the wrong kind or a file past its limit is refused. `text` is the
// description. Not for CloudStatus::ok.
SyncError cloudError(CloudStatus status, std::string text);

// Thrown by the readers of the engine's files (change files, registrations, the ensemble
// file) and by the change applier when what they read is refused; error() is its SyncError.
// It is a std::invalid_argument: the bytes, not the program, are at fault.
class RefusedFile : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
    SyncError error() const { return {SyncError::Kind::refused, what()}; }
};

}  // namespace jw::sync
