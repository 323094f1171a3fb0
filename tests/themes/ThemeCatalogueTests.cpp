// The catalogue of nine themes and the two lookups that resolve a list's stored theme name.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>

#include "src/themes/JWThemesDB.h"

namespace jw {
namespace {

struct CatalogueRow {
    const char* name;
    double red, green, blue;  // as listed, to four decimals
    unsigned hex;             // 8-bit sRGB, 0xRRGGBB
};

// The table the catalogue is defined by.
constexpr CatalogueRow catalogueTable[] = {
    {"Default", 0.1700, 0.1700, 0.1700, 0x2B2B2B},   {"Red", 0.7700, 0.1155, 0.1155, 0xC41D1D},
    {"Orange", 0.9000, 0.4485, 0.1260, 0xE67220},    {"Yellow", 0.8800, 0.7920, 0.0000, 0xE0CA00},
    {"Green", 0.0608, 0.7600, 0.0725, 0x10C212},     {"Blue", 0.1155, 0.5627, 0.7700, 0x1D8FC4},
    {"Dark Blue", 0.0200, 0.1997, 1.0000, 0x0533FF}, {"Purple", 0.5884, 0.2232, 0.9300, 0x9639ED},
    {"Pink", 0.9300, 0.2232, 0.4352, 0xED396F},
};

int indexOf(const JWThemeRef& theme) {
    const auto& all = JWThemesDB::shared().all();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i] == theme) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// In picker order, each with white text on its base colour, which matches the table in floats
// and in eight bits.
TEST(ThemeCatalogue, HoldsTheNineThemesOfTheTableInPickerOrder) {
    const auto& all = JWThemesDB::shared().all();
    ASSERT_EQ(all.size(), std::size(catalogueTable));
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Color color = all[i]->baseColor();
        const auto& row = catalogueTable[i];
        EXPECT_EQ(all[i]->name(), row.name) << "index " << i;
        EXPECT_TRUE(all[i]->whiteTextOnBase()) << row.name;
        // The table rounds to four decimals.
        EXPECT_NEAR(color.red, row.red, 0.00005) << row.name;
        EXPECT_NEAR(color.green, row.green, 0.00005) << row.name;
        EXPECT_NEAR(color.blue, row.blue, 0.00005) << row.name;
        EXPECT_EQ(color.alpha, 1.0) << row.name;
        EXPECT_EQ(color.rgba8(), (std::array<std::uint8_t, 4>{std::uint8_t(row.hex >> 16),
                                                              std::uint8_t(row.hex >> 8),
                                                              std::uint8_t(row.hex), 255}))
            << row.name;
    }
}

// Whole names exactly, from the one shared catalogue; a key that names no theme falls back
// to Default, where finding it gives nothing.
TEST(ThemeCatalogue, FindsWholeNamesExactlyAndKeysFallBackToDefault) {
    const auto& db = JWThemesDB::shared();
    EXPECT_EQ(&JWThemesDB::shared(), &db);
    const std::pair<const char*, int> found[] = {{"Dark Blue", 6}, {"Default", 0}, {"Pink", 8}};
    for (const auto& [name, index] : found) {
        EXPECT_EQ(indexOf(db.findTheme(name)), index) << name;
        EXPECT_EQ(indexOf(db.themeForKey(name)), index) << name;
    }
    for (const char* near : {"DarkBlue", "Dark  Blue", "dark blue", "Dark Blue ", "Dark", "",
                             "pink", "PINK", " Pink", "Pink\n", "Teal", "Removed Theme"}) {
        EXPECT_EQ(db.findTheme(near), nullptr) << '"' << near << '"';
        EXPECT_EQ(indexOf(db.themeForKey(near)), 0) << '"' << near << '"';
    }
}

}  // namespace
}  // namespace jw
