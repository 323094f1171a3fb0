// The list row: name, counts and bar from the list's progress, icon and bar in its theme
// colour. One cell shows every case in turn, so each case is also a reuse of the cell.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/foundation/Paths.h"
#include "src/lists/JWListTableViewCell.h"
#include "src/model/Operations.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

std::string hexOf(double red, double green, double blue) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", unsigned(red * 255 + 0.5),
                  unsigned(green * 255 + 0.5), unsigned(blue * 255 + 0.5));
    return text;
}

// "name | counts | bar | icon", each colour as 8-bit hex; the icon's is that of its first
// fully drawn pixel.
std::string shown(const JWListTableViewCell& cell) {
    const auto progress = cell.progressView.lock();
    const auto tint = progress->progressTintColor().value_or(Color{});
    char bar[64];
    std::snprintf(bar, sizeof bar, "bar %.2f %s", progress->progress(),
                  hexOf(tint.red, tint.green, tint.blue).c_str());
    std::string icon = "no icon";
    const auto& image = cell.iconImageView.lock()->image();
    for (int i = 0; image && i < image->pixelWidth * image->pixelHeight; ++i) {
        if (const auto p = image->pixelAt(i % image->pixelWidth, i / image->pixelWidth);
            p[3] == 255) {
            icon = "icon " + hexOf(p[0] / 255.0, p[1] / 255.0, p[2] / 255.0);
            break;
        }
    }
    return cell.nameLabel.lock()->text() + " | " + cell.infoLabel.lock()->text() + " | " +
           (progress->isHidden() ? std::string("no bar") : std::string(bar)) + " | " + icon;
}

struct CellCase {
    int items;
    int checked;
    int deletedAfterChecking;  // checked items deleted without a recount: a stale doneCount
    const char* themeKey;      // "" leaves it unset
    bool showInfo;
    const char* expected;
};

TEST(ListCell, ShowsTheListsProgressInItsThemeColourAndNothingOfTheListBefore) {
    const CellCase cases[] = {
        {10, 3, 0, "Pink", true, "Groceries | 3/10 | bar 0.30 ED396F | icon ED396F"},
        {0, 0, 0, "", true, "Groceries |  | no bar | icon 2B2B2B"},
        {10, 0, 0, "", true, "Groceries | 10 | bar 0.00 2B2B2B | icon 2B2B2B"},
        {4, 4, 0, "Dark Blue", true, "Groceries | 4/4 | bar 1.00 0533FF | icon 0533FF"},
        {5, 5, 1, "", true, "Groceries | 5/4 | bar 1.25 2B2B2B | icon 2B2B2B"},
        {2, 1, 0, "pink", true, "Groceries | 1/2 | bar 0.50 2B2B2B | icon 2B2B2B"},
        {10, 3, 0, "Yellow", false, "Groceries |  | no bar | icon E0CA00"},  // the picker's rows
    };
    test::ManualPlatform platform;
    test::TempDir folder;
    model::JWDatabase db(model::JWDatabase::Locations{
        folder.path(), AppPaths::resolve(std::nullopt).resourceDirectory});
    const auto cell = JWListTableViewCell::make();
    for (const auto& c : cases) {
        const auto list = model::newList(db, "Groceries");
        std::vector<std::shared_ptr<model::Item>> items;
        for (int i = 0; i < c.items; ++i) {
            items.push_back(model::newItem(db, *list, "item"));
        }
        for (int i = 0; i < c.checked; ++i) {
            model::toggleItem(db, *items[std::size_t(i)]);
        }
        for (int i = 0; i < c.deletedAfterChecking; ++i) {
            model::deleteItem(db, *items[std::size_t(i)]);
        }
        if (*c.themeKey) {
            model::chooseTheme(db, list.get(), c.themeKey);
        }
        cell->configure(*list, c.showInfo);
        EXPECT_EQ(shown(*cell), c.expected);
    }
}

}  // namespace
}  // namespace jw
