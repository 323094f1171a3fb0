// libFuzzer's entry point for the change-file reader (a clang build with JOTWELL_FUZZ=ON):
//   build-fuzz/tests/fuzz/jotwell_fuzz_change_file NEW_DIR tests/fuzz/corpus/change_file
#include <cstddef>
#include <cstdint>

#include "ChangeFileFuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    jw::sync::fuzz::readChangeFileBytes(data, size);
    return 0;
}
