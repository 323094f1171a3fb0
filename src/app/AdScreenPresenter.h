#pragma once
// Full-screen house ads shown as screens of the application: the advertising network hands a
// creative and the screen to cover; this presents an ad screen (the creative's image, headline
// and call to action in white on black, and a "Close" button) full screen over it. Closing it
// dismisses the ad screen and then tells the network, once.
//
// An ad cannot be shown over something that is not one of the application's screens, over a
// screen that is not in the window, or over one that presents something already: the answer
// is then false and nothing shows. Main thread only.

#include <functional>
#include <memory>

#include "platform/ads/FullScreenAdPresenter.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"

namespace jw {

class HouseAdViewController : public ui::ViewController {
  public:
    HouseAdViewController(ads::HouseAdCreative creative, std::function<void()> closed);

    // Outlets, connected when the view is made.
    std::weak_ptr<ui::ImageView> imageView;
    std::weak_ptr<ui::Label> headlineLabel;
    std::weak_ptr<ui::Label> callToActionLabel;
    std::weak_ptr<ui::Button> closeButton;

    void loadView() override;
    void closeTapped();

  private:
    ads::HouseAdCreative creative_;
    std::function<void()> closed_;
};

class AdScreenPresenter : public ads::FullScreenAdPresenter {
  public:
    bool presentFullScreenAd(const ads::HouseAdCreative& creative,
                             ads::PresentingViewController& rootViewController,
                             std::function<void()> dismissed) override;
};

}  // namespace jw
