#include "src/app/QZIntroHomeViewController.h"

#include "platform/ui/NavigationController.h"
#include "src/model/JWDatabase.h"

namespace jw {

QZIntroHomeViewController::~QZIntroHomeViewController() {
    stopChecking();
}

void QZIntroHomeViewController::loadView() {
    // The scene's layout: the big title, the explanation under it, the button at the bottom.
    ViewController::loadView();
    auto big = std::make_shared<ui::Label>();
    big->setFrame(ui::Rect{{20.0, 160.0}, {350.0, 44.0}});
    big->setFont(ui::Font{28.0, true});
    big->setTextAlignment(ui::TextAlignment::center);
    auto status = std::make_shared<ui::Label>();
    status->setFrame(ui::Rect{{20.0, 220.0}, {350.0, 120.0}});
    status->setTextAlignment(ui::TextAlignment::center);
    auto go = std::make_shared<ui::Button>();
    go->setFrame(ui::Rect{{95.0, 380.0}, {200.0, 50.0}});
    go->setTitle("Start");
    view().addSubview(big);
    view().addSubview(status);
    view().addSubview(go);
    go->addTarget({this, &QZIntroHomeViewController::goTapped}, ui::ControlEvent::touchUpInside);
    bigLabel = big;
    statusLabel = status;
    goButton = go;
}

void QZIntroHomeViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    setTitle("");
    if (const auto navigation = navigationController()) {
        navigation->navigationBar().setShadowImage(Image{});
    }
    checkCloudStatus();
}

void QZIntroHomeViewController::viewWillDisappear(bool animated) {
    stopChecking();
    ViewController::viewWillDisappear(animated);
}

void QZIntroHomeViewController::goTapped() {
    dismiss(true);
}

void QZIntroHomeViewController::checkCloudStatus() {
    const auto* db = model::sharedDatabase();
    const auto state = db ? db->syncState() : model::SyncState::notYetAttached;
    switch (state) {
        case model::SyncState::attachmentLost:
            show("iCloud Settings Changed",
                 "Please delete and reinstall Jotwell from the App Store, this is normal if you "
                 "have just restored your device.",
                 false);
            stopChecking();
            break;
        case model::SyncState::attached:
            show("iCloud Ready",
                 "Start making lists now! If you have existing lists, it may take a few minutes "
                 "for them to be reloaded.",
                 true);
            stopChecking();
            break;
        case model::SyncState::notYetAttached:
            show("Checking iCloud Status....",
                 "Please Wait a few seconds. If this message does not change in 1 minute, sign "
                 "into iCloud in Settings and enable Jotwell under iCloud Drive.",
                 false);
            if (!checkTimer_) {
                const auto self = std::weak_ptr<QZIntroHomeViewController>(
                    std::static_pointer_cast<QZIntroHomeViewController>(shared_from_this()));
                checkTimer_ = mainRunLoop().scheduleTimer(recheckInterval, true, [self](Timer&) {
                    if (const auto screen = self.lock()) {
                        screen->checkCloudStatus();
                    }
                });
            }
            break;
    }
}

void QZIntroHomeViewController::show(const std::string& big, const std::string& status,
                                     bool ready) {
    bigLabel.lock()->setText(big);
    statusLabel.lock()->setText(status);
    goButton.lock()->setHidden(!ready);
}

void QZIntroHomeViewController::stopChecking() {
    if (checkTimer_) {
        checkTimer_->invalidate();
        checkTimer_.reset();
    }
}

}  // namespace jw
