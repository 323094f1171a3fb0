#pragma once
// What the tests of the user-interface layer stand on: the manual platform, a fresh
// application with a window, and one event log that screens, the observer and the tests
// write to, read back as one line.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/Application.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/support/ScriptCase.h"
#include "tests/support/TestEnvironment.h"

namespace jw::ui::test {

class EventLog {
  public:
    void add(std::string event) { events_.push_back(std::move(event)); }
    // Everything logged since the last take, space-separated.
    std::string take() { return jw::test::joined(std::exchange(events_, {}), " "); }

  private:
    std::vector<std::string> events_;
};

// A screen that logs its lifecycle as "Name:call".
class LoggingController : public ViewController {
  public:
    LoggingController(std::string name, std::shared_ptr<EventLog> log) : log_(std::move(log)) {
        setTitle(std::move(name));
    }
    void viewDidLoad() override { log_->add(title() + ":load"); }
    void viewWillAppear(bool) override { log_->add(title() + ":willAppear"); }
    void viewDidAppear(bool) override { log_->add(title() + ":didAppear"); }
    void viewWillDisappear(bool) override { log_->add(title() + ":willDisappear"); }
    void viewDidDisappear(bool) override { log_->add(title() + ":didDisappear"); }

  protected:
    std::shared_ptr<EventLog> log_;
};

// Reports presentations as "present:Title" and dismissals as "dismiss:Title".
class PresentationObserver : public Observer {
  public:
    explicit PresentationObserver(std::shared_ptr<EventLog> log) : log_(std::move(log)) {}
    void didPresent(ViewController&, ViewController& presented, bool) override {
        log_->add("present:" + presented.title());
    }
    void didDismiss(ViewController&, ViewController& dismissed, bool) override {
        log_->add("dismiss:" + dismissed.title());
    }

  private:
    std::shared_ptr<EventLog> log_;
};

// A target for control actions: logs "name" or, for a text field, "name:text".
class ActionRecorder : public View {
  public:
    ActionRecorder(std::shared_ptr<EventLog> log, std::string name)
        : log_(std::move(log)), name_(std::move(name)) {}
    void fired(Control& sender) {
        const auto* field = dynamic_cast<const TextField*>(&sender);
        log_->add(field ? name_ + ":" + field->text() : name_);
    }
    Control::Action action() { return Control::Action(this, &ActionRecorder::fired); }

  private:
    std::shared_ptr<EventLog> log_;
    std::string name_;
};

class UiTest : public ::testing::Test {
  public:
    UiTest() { previous_ = Application::install(application_); }
    ~UiTest() override {
        application_->setWindow(nullptr);
        Application::install(previous_);
    }

    std::shared_ptr<LoggingController> screen(std::string name) {
        return std::make_shared<LoggingController>(std::move(name), log_);
    }
    // Puts `root` in a visible window of the given size and lets the transition finish.
    void show(std::shared_ptr<ViewController> root, Size size = Window::tabletSize) {
        window_ = std::make_shared<Window>(size);
        application_->setWindow(window_);
        window_->setRootViewController(std::move(root));
        window_->makeKeyAndVisible();
        platform_.loop().drain();
    }
    // Marks the end of a turn in the log, then runs the run loop.
    void settle() {
        log_->add("|");
        platform_.loop().drain();
    }
    Completion logs(std::string event) {
        return [log = log_, event = std::move(event)] { log->add(event); };
    }
    // A recorder kept alive by the test (targets are held weakly).
    ActionRecorder& recorder(std::string name) {
        return *recorders_.emplace_back(std::make_shared<ActionRecorder>(log_, std::move(name)));
    }

    jw::test::ManualPlatform platform_;
    std::shared_ptr<EventLog> log_ = std::make_shared<EventLog>();
    std::shared_ptr<Application> application_ = std::make_shared<Application>();
    std::shared_ptr<Application> previous_;
    std::shared_ptr<Window> window_;
    std::vector<std::shared_ptr<ActionRecorder>> recorders_;
};

}  // namespace jw::ui::test
