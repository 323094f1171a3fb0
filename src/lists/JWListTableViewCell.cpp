#include "src/lists/JWListTableViewCell.h"

#include <array>
#include <map>
#include <optional>

#include "src/themes/ImageResources.h"
#include "src/themes/JWThemesDB.h"
#include "src/themes/TintedImage.h"

namespace jw {

namespace {

// The "List" icon in `color`. The artwork is read once and each colour drawn once: a screenful
// of rows asks for the same few icons over and over.
const std::optional<Image>& listIcon(const Color& color) {
    static const std::optional<Image> artwork = imageNamed("List");
    static std::map<std::array<std::uint8_t, 4>, std::optional<Image>> tinted;
    auto& icon = tinted[color.rgba8()];
    if (!icon && artwork) {
        icon = tintedImage(*artwork, color);
    }
    return icon;
}

}  // namespace

std::shared_ptr<JWListTableViewCell> JWListTableViewCell::make() {
    auto cell = std::make_shared<JWListTableViewCell>(reuseIdentifier);
    auto icon = std::make_shared<ui::ImageView>();
    icon->setFrame(ui::Rect{{16.0, 12.0}, {24.0, 24.0}});
    auto name = std::make_shared<ui::Label>();
    name->setFrame(ui::Rect{{52.0, 6.0}, {220.0, 24.0}});
    auto info = std::make_shared<ui::Label>();
    info->setFrame(ui::Rect{{280.0, 6.0}, {80.0, 24.0}});
    info->setTextAlignment(ui::TextAlignment::right);
    auto progress = std::make_shared<ui::ProgressView>();
    progress->setFrame(ui::Rect{{52.0, 36.0}, {308.0, 4.0}});
    for (const std::shared_ptr<ui::View>& view :
         std::initializer_list<std::shared_ptr<ui::View>>{icon, name, info, progress}) {
        cell->addSubview(view);
    }
    cell->iconImageView = icon;
    cell->nameLabel = name;
    cell->infoLabel = info;
    cell->progressView = progress;
    return cell;
}

void JWListTableViewCell::configure(const model::List& list, bool showInfo) {
    const auto name = nameLabel.lock();
    const auto info = infoLabel.lock();
    const auto icon = iconImageView.lock();
    const auto progress = progressView.lock();

    name->setText(list.name().value_or(""));
    const auto theme = JWThemesDB::shared().themeForKey(list.themeKey().value_or(""));
    std::optional<std::string> counts;
    float fraction = 0.0f;
    if (showInfo) {
        std::tie(counts, fraction) = list.progressInfo("", "");
    }
    if (counts) {
        info->setText(*counts);
        if (progress) {
            progress->setProgress(fraction);
            progress->setProgressTintColor(theme->baseColor());
            progress->setHidden(false);
        }
    } else {
        info->setText("");
        if (progress) {
            progress->setHidden(true);
        }
    }
    icon->setImage(listIcon(theme->baseColor()));
}

}  // namespace jw
