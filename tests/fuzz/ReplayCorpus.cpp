// Runs the fuzz target over every file of its corpus, so that every build (with any compiler)
// checks the seeds and every input a fuzzing run found worth keeping.
//   fuzz_corpus_replay DIR...
// Exits 0 when all were read; a broken promise aborts, naming the reader's fault.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ChangeFileFuzzTarget.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR...\n", argv[0]);
        return 2;
    }
    std::size_t files = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(argv[i], ec)) {
            if (!entry.is_regular_file()) {
                continue;
            }
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
            std::fprintf(stderr, "%s\n", entry.path().filename().c_str());
            jw::sync::fuzz::readChangeFileBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                bytes.size());
            ++files;
        }
        if (ec) {
            std::fprintf(stderr, "cannot read %s: %s\n", argv[i], ec.message().c_str());
            return 1;
        }
    }
    if (files == 0) {
        std::fprintf(stderr, "no corpus files found\n");
        return 1;
    }
    std::printf("%zu corpus files read\n", files);
    return 0;
}
