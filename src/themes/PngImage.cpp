#include "src/themes/PngImage.h"

#include <png.h>

#include <cstring>
#include <stdexcept>
#include <string_view>

#include "platform/foundation/Paths.h"

namespace jw {

namespace {

// The simplified libpng API reports errors in the control structure instead of longjmp'ing
// out of our frames, which keeps C++ destructors safe.
class PngReader {
  public:
    PngReader() {
        std::memset(&image_, 0, sizeof image_);
        image_.version = PNG_IMAGE_VERSION;
    }
    ~PngReader() { png_image_free(&image_); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    png_image& image() { return image_; }

    std::optional<Image> finish(double scale, std::string* error) {
        image_.format = PNG_FORMAT_RGBA;
        Image result;
        result.pixelWidth = static_cast<int>(image_.width);
        result.pixelHeight = static_cast<int>(image_.height);
        result.scale = scale;
        result.rgba.resize(PNG_IMAGE_SIZE(image_));
        if (png_image_finish_read(&image_, nullptr, result.rgba.data(), 0, nullptr) == 0) {
            return fail(error);
        }
        return result;
    }

    std::optional<Image> fail(std::string* error) {
        if (error != nullptr) {
            *error = image_.message;
        }
        return std::nullopt;
    }

  private:
    png_image image_;
};

bool validScale(double scale) {
    return scale > 0.0;
}

}  // namespace

std::optional<Image> readPNGFile(const std::filesystem::path& file, double scale,
                                 std::string* error) {
    if (!validScale(scale)) {
        if (error != nullptr) {
            *error = "image scale must be positive";
        }
        return std::nullopt;
    }
    PngReader reader;
    if (png_image_begin_read_from_file(&reader.image(), file.c_str()) == 0) {
        return reader.fail(error);
    }
    return reader.finish(scale, error);
}

std::optional<Image> readPNGData(const std::vector<unsigned char>& data, double scale,
                                 std::string* error) {
    if (!validScale(scale)) {
        if (error != nullptr) {
            *error = "image scale must be positive";
        }
        return std::nullopt;
    }
    PngReader reader;
    if (png_image_begin_read_from_memory(&reader.image(), data.data(), data.size()) == 0) {
        return reader.fail(error);
    }
    return reader.finish(scale, error);
}

void writePNGFile(const Image& image, const std::filesystem::path& file) {
    if (image.isEmpty() ||
        image.rgba.size() != static_cast<std::size_t>(image.pixelWidth) * image.pixelHeight * 4) {
        throw std::runtime_error("cannot write " + file.string() + ": malformed image");
    }
    png_image control;
    std::memset(&control, 0, sizeof control);
    control.version = PNG_IMAGE_VERSION;
    control.width = static_cast<png_uint_32>(image.pixelWidth);
    control.height = static_cast<png_uint_32>(image.pixelHeight);
    control.format = PNG_FORMAT_RGBA;

    // First pass measures, second pass encodes; then one atomic write of the whole file.
    png_alloc_size_t size = 0;
    if (png_image_write_to_memory(&control, nullptr, &size, 0, image.rgba.data(), 0, nullptr) ==
        0) {
        const std::string message = control.message;
        png_image_free(&control);
        throw std::runtime_error("cannot encode " + file.string() + ": " + message);
    }
    std::string encoded(size, '\0');
    if (png_image_write_to_memory(&control, encoded.data(), &size, 0, image.rgba.data(), 0,
                                  nullptr) == 0) {
        const std::string message = control.message;
        png_image_free(&control);
        throw std::runtime_error("cannot encode " + file.string() + ": " + message);
    }
    png_image_free(&control);
    encoded.resize(size);
    writeFileAtomically(file, encoded);
}

}  // namespace jw
