#pragma once
// Shows one image, or nothing. Main thread.

#include <optional>

#include "platform/ui/Image.h"
#include "platform/ui/View.h"

namespace jw::ui {

class ImageView : public View {
  public:
    const std::optional<Image>& image() const { return image_; }
    void setImage(std::optional<Image> image) { update(image_, std::move(image)); }

  private:
    std::optional<Image> image_;
};

}  // namespace jw::ui
