#pragma once
// One row of a table of lists: the list's name, its icon in the list's theme colour and, when
// asked for, the counts text ("3/10") with a bar of the checked fraction. The lists screen
// shows the counts; the list picker does not.
//
// configure rewrites everything the cell shows, in one order, so a reused cell never keeps the
// counts, bar or colour of the list it showed before. The counts come from the list's
// progressInfo, the colour from its theme (an unset or unknown themeKey shows "Default"), the
// icon from the image "List" drawn in that colour. The outlets are the cell's own subviews;
// a missing progress view is skipped, the other three are always there once make() built the
// cell. Main thread only.

#include <memory>

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ProgressView.h"
#include "platform/ui/TableViewCell.h"
#include "src/model/Entities.h"

namespace jw {

class JWListTableViewCell : public ui::TableViewCell {
  public:
    static constexpr const char* reuseIdentifier = "Cell";

    using ui::TableViewCell::TableViewCell;

    // A cell laid out with its four outlets, as the storyboard's prototype is.
    static std::shared_ptr<JWListTableViewCell> make();

    std::weak_ptr<ui::ImageView> iconImageView;
    std::weak_ptr<ui::Label> infoLabel;
    std::weak_ptr<ui::Label> nameLabel;
    std::weak_ptr<ui::ProgressView> progressView;

    void configure(const model::List& list, bool showInfo);
};

}  // namespace jw
