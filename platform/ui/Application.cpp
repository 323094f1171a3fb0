#include "platform/ui/Application.h"

#include <stdexcept>

#include "platform/foundation/RunLoop.h"
#include "platform/ui/Responder.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace jw::ui {

namespace {

std::shared_ptr<Application>& installedApplication() {
    static std::shared_ptr<Application> application;
    return application;
}

}  // namespace

Application::Application()
    : navigationBarAppearance_([this] { observer().applicationDidChange(*this); }),
      toolbarAppearance_([this] { observer().applicationDidChange(*this); }) {}

Application::~Application() = default;

Application& Application::shared() {
    auto& application = installedApplication();
    if (!application) {
        application = std::make_shared<Application>();
    }
    return *application;
}

std::shared_ptr<Application> Application::install(std::shared_ptr<Application> application) {
    installedApplication().swap(application);
    return application;
}

void Application::setWindow(std::shared_ptr<Window> window) {
    window_ = std::move(window);
}

void Application::setDelegate(std::shared_ptr<ApplicationDelegate> delegate) {
    delegate_ = std::move(delegate);
}

void Application::launch() {
    if (state_ != State::notRunning) {
        throw std::logic_error("the application was launched already");
    }
    state_ = State::inactive;
    if (delegate_) {
        delegate_->applicationDidFinishLaunching(*this);
    }
    if (window_) {
        window_->makeKeyAndVisible();
    }
    becomeActive();
}

void Application::becomeActive() {
    if (state_ == State::active || state_ == State::notRunning) {
        return;
    }
    state_ = State::active;
    if (delegate_) {
        delegate_->applicationDidBecomeActive(*this);
    }
}

void Application::resignActive() {
    if (state_ != State::active) {
        return;
    }
    if (delegate_) {
        delegate_->applicationWillResignActive(*this);
    }
    state_ = State::inactive;
}

void Application::enterBackground() {
    if (state_ == State::notRunning || state_ == State::background) {
        return;
    }
    resignActive();
    state_ = State::background;
    if (delegate_) {
        delegate_->applicationDidEnterBackground(*this);
    }
}

void Application::enterForeground() {
    if (state_ != State::background) {
        return;
    }
    state_ = State::inactive;
    if (delegate_) {
        delegate_->applicationWillEnterForeground(*this);
    }
    becomeActive();
}

void Application::endEditing() {
    if (const auto responder = firstResponder()) {
        responder->resignFirstResponder();
    }
}

void Application::terminate() {
    if (state_ == State::notRunning) {
        return;
    }
    if (delegate_) {
        delegate_->applicationWillTerminate(*this);
    }
    state_ = State::notRunning;
}

void Application::setObserver(std::shared_ptr<Observer> observer) {
    observer_ = std::move(observer);
}

Observer& Application::observer() const {
    static Observer nobody;
    return observer_ ? *observer_ : nobody;
}

void Application::setFirstResponder(const std::shared_ptr<Responder>& responder) {
    firstResponder_ = responder;
    observer().firstResponderDidChange(responder.get());
}

void Application::setStatusBarStyle(StatusBarStyle style) {
    statusBarStyle_ = style;
    statusBarAppearanceDidChange();
}

bool Application::isStatusBarHidden() const {
    if (!window_ || !window_->rootViewController()) {
        return false;
    }
    std::shared_ptr<ViewController> top = window_->rootViewController();
    while (const auto presented = top->presentedViewController()) {
        top = presented;
    }
    while (const auto child = top->childViewControllerForStatusBarHidden()) {
        top = child;
    }
    return top->prefersStatusBarHidden();
}

void Application::statusBarAppearanceDidChange() {
    observer().applicationDidChange(*this);
}

void Application::openURL(const Url& url, std::function<void(bool)> completion) {
    openedURLs_.push_back(url);
    observer().openURL(url);
    if (completion) {
        runOnMain([completion = std::move(completion)] { completion(true); });
    }
}

void Application::registerStoryboard(std::shared_ptr<Storyboard> storyboard) {
    const std::string name = storyboard->name();
    storyboards_[name] = std::move(storyboard);
}

std::shared_ptr<Storyboard> Application::storyboardNamed(const std::string& name) const {
    const auto found = storyboards_.find(name);
    if (found == storyboards_.end()) {
        throw std::invalid_argument("Could not find a storyboard named '" + name + "'");
    }
    return found->second;
}

}  // namespace jw::ui
