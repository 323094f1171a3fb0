#pragma once
// The screen an ad is presented over. The ad network never looks inside it: it only hands it
// to the FullScreenAdPresenter, which knows what the application's screens are (the
// application's view controllers derive from this, or wrap themselves in it). Main thread.

namespace jw::ads {

class PresentingViewController {
  public:
    virtual ~PresentingViewController() = default;
};

}  // namespace jw::ads
