#pragma once
// The cloud status intro: the screen that stands in front of the lists while the store is not
// attached to the cloud. It shows one of three states, decided by the database's sync state:
//   attachment lost   "iCloud Settings Changed", reinstall advice, no button, no re-check;
//   attached          "iCloud Ready", a start button that closes the screen, no re-check;
//   not yet attached  "Checking iCloud Status....", wait advice, no button, and a re-check
//                     every 3 seconds until the state is another one.
// Ready and settings changed are final for one showing. Leaving the screen always stops the
// re-check; showing it again starts a fresh one. It only reads the database, never syncs.
//
// The "Intro" storyboard's initial scene, inside a navigation controller, presented by the
// lists screen. Portrait only. Without a shared database it keeps checking. Main thread only.

#include <memory>
#include <string>

#include "platform/foundation/RunLoop.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"

namespace jw {

class QZIntroHomeViewController : public ui::ViewController {
  public:
    static constexpr double recheckInterval = 3.0;

    // Outlets, connected when the view is made.
    std::weak_ptr<ui::Label> bigLabel;
    std::weak_ptr<ui::Button> goButton;
    std::weak_ptr<ui::Label> statusLabel;

    ~QZIntroHomeViewController() override;

    // The re-check timer; present only while checking.
    const std::shared_ptr<Timer>& checkTimer() const { return checkTimer_; }

    void loadView() override;
    void viewDidLoad() override;
    void viewWillDisappear(bool animated) override;
    bool shouldAutorotate() const override { return true; }
    ui::InterfaceOrientationMask supportedInterfaceOrientations() const override {
        return ui::InterfaceOrientationMask::portrait;
    }

    void goTapped();
    void checkCloudStatus();

  private:
    void show(const std::string& big, const std::string& status, bool ready);
    void stopChecking();

    std::shared_ptr<Timer> checkTimer_;
};

}  // namespace jw
