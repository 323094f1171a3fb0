#pragma once
// The change-file reader's fuzz target: whatever bytes a cloud folder holds, reading them
// either gives a file or refuses it with std::invalid_argument; nothing else may escape, and
// a file that reads reads back the same after writing it out again. A broken promise aborts.
//
// The same bytes are tried a second time with the header's length and checksum made to fit
// what follows it, so that mutations reach the payload and its object changes instead of
// stopping at the checksum.

#include <cstddef>
#include <cstdint>

namespace jw::sync::fuzz {

// The model version the reader is given: files may claim this one or older.
constexpr int kReaderModelVersion = 1;

void readChangeFileBytes(const std::uint8_t* data, std::size_t size);

}  // namespace jw::sync::fuzz
