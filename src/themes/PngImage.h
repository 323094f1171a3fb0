#pragma once
// Reading and writing PNG files (through libpng). Any PNG (palette, grey, 16-bit, with or
// without transparency) reads as 8-bit RGBA with straight alpha; writing always makes an
// 8-bit RGBA file. Thread-safe: no shared state.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Image.h"

namespace jw {

// Decodes `file` and tags the image with `scale`. A missing, unreadable or malformed file
// gives nothing, with the reason in `*error` when one is asked for.
std::optional<Image> readPNGFile(const std::filesystem::path& file, double scale = 1.0,
                                 std::string* error = nullptr);

// Decodes PNG data held in memory; as readPNGFile.
std::optional<Image> readPNGData(const std::vector<unsigned char>& data, double scale = 1.0,
                                 std::string* error = nullptr);

// Encodes `image` (the scale is not stored) and writes it to `file` through a temporary file
// and a rename. Throws std::runtime_error when the image is empty or malformed or the file
// cannot be written.
void writePNGFile(const Image& image, const std::filesystem::path& file);

}  // namespace jw
