// Draws Jotwell's own artwork: the "List", "TickOn" and "TickOff" icons (at 1x, 2x and 3x)
// into <resources>/images and the house-ad creatives into <resources>/ads.
//
// Every shape is described in points by an inside test and rasterised with 4×4 samples per
// pixel, so edges are smooth at every scale and the output is the same on every machine.
// Usage: jw_generate_artwork <resources directory>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/ui/Color.h"
#include "platform/ui/Image.h"
#include "src/themes/JWThemesDB.h"
#include "src/themes/Palette.h"
#include "src/themes/PngImage.h"

namespace {

using jw::Color;
using jw::Image;
using Inside = std::function<bool(double x, double y)>;

Inside circle(double cx, double cy, double r) {
    return [=](double x, double y) { return std::hypot(x - cx, y - cy) <= r; };
}

Inside ring(double cx, double cy, double r, double width) {
    return [=](double x, double y) {
        const double d = std::hypot(x - cx, y - cy);
        return d <= r && d >= r - width;
    };
}

// A thick line with round ends.
Inside capsule(double x1, double y1, double x2, double y2, double radius) {
    return [=](double x, double y) {
        const double dx = x2 - x1;
        const double dy = y2 - y1;
        const double length2 = dx * dx + dy * dy;
        double t = length2 > 0 ? ((x - x1) * dx + (y - y1) * dy) / length2 : 0.0;
        t = std::fmax(0.0, std::fmin(1.0, t));
        return std::hypot(x - (x1 + t * dx), y - (y1 + t * dy)) <= radius;
    };
}

Inside roundedRect(double left, double top, double width, double height, double radius) {
    return [=](double x, double y) {
        const double cx = std::fmin(std::fmax(x, left + radius), left + width - radius);
        const double cy = std::fmin(std::fmax(y, top + radius), top + height - radius);
        return std::hypot(x - cx, y - cy) <= radius;
    };
}

Inside roundedRectFrame(double left, double top, double width, double height, double radius,
                        double lineWidth) {
    auto outer = roundedRect(left, top, width, height, radius);
    auto inner = roundedRect(left + lineWidth, top + lineWidth, width - 2 * lineWidth,
                             height - 2 * lineWidth, std::fmax(0.0, radius - lineWidth));
    return [=](double x, double y) { return outer(x, y) && !inner(x, y); };
}

class Canvas {
  public:
    Canvas(double widthPoints, double heightPoints, int scale)
        : scale_(scale),
          image_(Image::transparent(static_cast<int>(std::lround(widthPoints * scale)),
                                    static_cast<int>(std::lround(heightPoints * scale)), scale)) {}

    void fill(const Inside& shape, Color color) {
        constexpr int samples = 4;
        for (int py = 0; py < image_.pixelHeight; ++py) {
            for (int px = 0; px < image_.pixelWidth; ++px) {
                int covered = 0;
                for (int sy = 0; sy < samples; ++sy) {
                    for (int sx = 0; sx < samples; ++sx) {
                        const double x = (px + (sx + 0.5) / samples) / scale_;
                        const double y = (py + (sy + 0.5) / samples) / scale_;
                        covered += shape(x, y) ? 1 : 0;
                    }
                }
                if (covered > 0) {
                    blend(px, py, color, color.alpha * covered / (samples * samples));
                }
            }
        }
    }

    void fillAll(Color color) {
        fill([](double, double) { return true; }, color);
    }

    const Image& image() const { return image_; }

  private:
    // Source-over in straight alpha.
    void blend(int px, int py, Color color, double coverage) {
        const auto old = image_.pixelAt(px, py);
        const double oldAlpha = old[3] / 255.0;
        const double outAlpha = coverage + oldAlpha * (1.0 - coverage);
        const auto mix = [&](double source, std::uint8_t destination) {
            const double value =
                (source * coverage + destination / 255.0 * oldAlpha * (1.0 - coverage)) / outAlpha;
            return static_cast<std::uint8_t>(std::lround(std::fmin(1.0, value) * 255.0));
        };
        image_.setPixel(px, py,
                        {mix(color.red, old[0]), mix(color.green, old[1]), mix(color.blue, old[2]),
                         static_cast<std::uint8_t>(std::lround(outAlpha * 255.0))});
    }

    int scale_;
    Image image_;
};

const Color black = Color::white(0.0);
const Color white = Color::white(1.0);

// A template icon: only its alpha matters, the list row tints it in the theme colour.
void drawList(Canvas& canvas) {
    for (double row : {8.5, 15.0, 21.5}) {
        canvas.fill(circle(6.5, row, 2.25), black);
        canvas.fill(capsule(11.5, row, 25.0, row, 1.5), black);
    }
}

void drawTickOn(Canvas& canvas) {
    canvas.fill(circle(14, 14, 12), jw::grey20);
    canvas.fill(capsule(8.5, 14.5, 12.3, 18.3, 1.5), white);
    canvas.fill(capsule(12.3, 18.3, 19.5, 10.0, 1.5), white);
}

void drawTickOff(Canvas& canvas) {
    canvas.fill(ring(14, 14, 12, 1.75), jw::grey56);
}

Color themeColor(const char* name) {
    return jw::JWThemesDB::shared().findTheme(name)->baseColor();
}

// Creatives are 540×960 points (portrait), drawn at scale 1.
void drawNineThemes(Canvas& canvas) {
    canvas.fillAll(jw::grey92);
    const auto& themes = jw::JWThemesDB::shared().all();
    const double size = 120;
    const double gap = 24;
    const double left = (540 - 3 * size - 2 * gap) / 2;
    const double top = 220;
    for (std::size_t i = 0; i < themes.size(); ++i) {
        const double x = left + static_cast<double>(i % 3) * (size + gap);
        const double y = top + static_cast<double>(i / 3) * (size + gap);
        canvas.fill(roundedRect(x, y, size, size, 22), themes[i]->baseColor());
    }
    for (double row : {720.0, 760.0, 800.0}) {
        canvas.fill(circle(150, row, 9), jw::grey17);
        canvas.fill(capsule(180, row, 400, row, 6), jw::grey17);
    }
}

void drawReminders(Canvas& canvas) {
    canvas.fillAll(themeColor("Blue"));
    const double cx = 270;
    const double cy = 430;
    canvas.fill(ring(cx, cy, 170, 18), white);
    for (int hour = 0; hour < 12; ++hour) {
        const double angle = hour * M_PI / 6.0;
        canvas.fill(circle(cx + 128 * std::sin(angle), cy - 128 * std::cos(angle), 7), white);
    }
    canvas.fill(capsule(cx, cy, cx, cy - 105, 9), white);
    canvas.fill(capsule(cx, cy, cx + 70, cy + 40, 9), white);
    canvas.fill(circle(cx, cy, 16), white);
    canvas.fill(roundedRect(120, 720, 300, 56, 28), white);
    canvas.fill(capsule(160, 748, 380, 748, 6), themeColor("Blue"));
}

void drawDevices(Canvas& canvas) {
    canvas.fillAll(jw::grey17);
    const Color rows[] = {themeColor("Green"), themeColor("Orange"), themeColor("Pink")};
    // A phone on the left, a tablet on the right, the same list on both.
    canvas.fill(roundedRectFrame(60, 300, 150, 280, 22, 8), white);
    canvas.fill(roundedRectFrame(300, 250, 190, 380, 22, 8), white);
    for (int i = 0; i < 3; ++i) {
        canvas.fill(capsule(90, 360 + 50.0 * i, 180, 360 + 50.0 * i, 8), rows[i]);
        canvas.fill(capsule(335, 330 + 70.0 * i, 455, 330 + 70.0 * i, 10), rows[i]);
    }
    for (int i = 0; i < 3; ++i) {
        canvas.fill(circle(235 + 20.0 * i, 440, 5), white);
    }
    canvas.fill(capsule(150, 760, 390, 760, 6), white);
}

void write(const Image& image, const std::filesystem::path& file) {
    jw::writePNGFile(image, file);
    std::printf("wrote %s (%dx%d)\n", file.c_str(), image.pixelWidth, image.pixelHeight);
}

void writeIcon(const std::filesystem::path& directory, const std::string& name, double size,
               const std::function<void(Canvas&)>& draw) {
    for (int scale = 1; scale <= 3; ++scale) {
        Canvas canvas(size, size, scale);
        draw(canvas);
        const std::string suffix = scale == 1 ? "" : "@" + std::to_string(scale) + "x";
        write(canvas.image(), directory / (name + suffix + ".png"));
    }
}

void writeCreative(const std::filesystem::path& directory, const std::string& name,
                   const std::function<void(Canvas&)>& draw) {
    Canvas canvas(540, 960, 1);
    draw(canvas);
    write(canvas.image(), directory / (name + ".png"));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <resources directory>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path resources = argv[1];
    try {
        std::filesystem::create_directories(resources / "images");
        std::filesystem::create_directories(resources / "ads");
        writeIcon(resources / "images", "List", 30, drawList);
        writeIcon(resources / "images", "TickOn", 28, drawTickOn);
        writeIcon(resources / "images", "TickOff", 28, drawTickOff);
        writeCreative(resources / "ads", "nine-themes", drawNineThemes);
        writeCreative(resources / "ads", "reminders", drawReminders);
        writeCreative(resources / "ads", "every-device", drawDevices);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
