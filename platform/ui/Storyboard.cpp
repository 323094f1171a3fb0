#include "platform/ui/Storyboard.h"

#include <stdexcept>

#include "platform/ui/Application.h"

namespace jw::ui {

std::shared_ptr<Storyboard> Storyboard::named(const std::string& name) {
    return Application::shared().storyboardNamed(name);
}

void Storyboard::addScene(std::string identifier, Scene scene) {
    scenes_[std::move(identifier)] = std::move(scene);
}

void Storyboard::addSegue(std::string sourceScene, std::string identifier, SegueKind kind,
                          std::string destinationScene) {
    segues_[{std::move(sourceScene), std::move(identifier)}] =
        Segue{kind, std::move(destinationScene)};
}

std::shared_ptr<ViewController> Storyboard::instantiateInitialViewController() {
    if (initialScene_.empty()) {
        throw std::invalid_argument("Storyboard '" + name_ + "' has no initial view controller");
    }
    return instantiateViewController(initialScene_);
}

std::shared_ptr<ViewController> Storyboard::instantiateViewController(
    const std::string& identifier) {
    const auto scene = scenes_.find(identifier);
    if (scene == scenes_.end()) {
        throw std::invalid_argument("Storyboard '" + name_ +
                                    "' doesn't contain a view controller with identifier '" +
                                    identifier + "'");
    }
    auto controller = scene->second(*this);
    if (!controller) {
        throw std::logic_error("scene '" + identifier + "' of storyboard '" + name_ +
                               "' made no view controller");
    }
    controller->storyboard_ = shared_from_this();
    controller->sceneIdentifier_ = identifier;
    return controller;
}

const Storyboard::Segue& Storyboard::segue(const std::string& sourceScene,
                                           const std::string& identifier) const {
    const auto found = segues_.find({sourceScene, identifier});
    if (found == segues_.end()) {
        throw std::invalid_argument("Receiver (scene '" + sourceScene + "' of storyboard '" +
                                    name_ + "') has no segue with identifier '" + identifier + "'");
    }
    return found->second;
}

}  // namespace jw::ui
