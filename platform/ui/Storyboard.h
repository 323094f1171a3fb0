#pragma once
// A storyboard: named scenes, each a recipe that makes a controller (with its container and
// outlets as the scene describes), and the segues between scenes. The application's
// storyboards are registered with the Application and found by name, as the main bundle's
// are (named()). Instantiating gives a new controller each time; it knows its storyboard and
// its scene, so it can perform the segues that leave its scene (ViewController.h).
//
// A storyboard is filled once, when the application is put together, then only read.
// Unknown names and identifiers are programming errors: std::invalid_argument naming them.
// A scene's recipe may instantiate other scenes of the same storyboard (a navigation
// controller and its root). Main thread only.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "platform/ui/ViewController.h"

namespace jw::ui {

enum class SegueKind {
    show,            // pushed on the source's navigation controller (else presented)
    showDetail,      // handed to the split view's secondary column (see SplitViewController)
    presentModally,  // presented over the source, animated
};

// What prepareForSegue is handed.
struct StoryboardSegue {
    std::string identifier;
    std::shared_ptr<ViewController> source;
    std::shared_ptr<ViewController> destination;
};

class Storyboard : public std::enable_shared_from_this<Storyboard> {
  public:
    using Scene = std::function<std::shared_ptr<ViewController>(Storyboard&)>;

    explicit Storyboard(std::string name) : name_(std::move(name)) {}

    // The registered storyboard of that name (Application::storyboardNamed).
    static std::shared_ptr<Storyboard> named(const std::string& name);

    const std::string& name() const { return name_; }

    void addScene(std::string identifier, Scene scene);
    void setInitialScene(std::string identifier) { initialScene_ = std::move(identifier); }
    void addSegue(std::string sourceScene, std::string identifier, SegueKind kind,
                  std::string destinationScene);

    std::shared_ptr<ViewController> instantiateInitialViewController();
    std::shared_ptr<ViewController> instantiateViewController(const std::string& identifier);

  private:
    friend class ViewController;
    struct Segue {
        SegueKind kind;
        std::string destination;
    };
    const Segue& segue(const std::string& sourceScene, const std::string& identifier) const;

    std::string name_;
    std::string initialScene_;
    std::map<std::string, Scene> scenes_;
    std::map<std::pair<std::string, std::string>, Segue> segues_;
};

}  // namespace jw::ui
