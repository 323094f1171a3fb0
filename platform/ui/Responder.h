#pragma once
// Something that can hold the keyboard focus (be the first responder): text fields, text
// views, and the view controllers that say they can. At most one responder in the application
// holds it; taking it first asks the current holder to give it up. Only a responder that is on
// screen can take it, and one that leaves the screen gives it up.
//
// Responders (every view and view controller) are owned by std::shared_ptr, made with
// std::make_shared: targets, delegates and back-pointers refer to them weakly. Main thread.

#include <memory>
#include <stdexcept>

namespace jw::ui {

class Responder : public std::enable_shared_from_this<Responder> {
  public:
    virtual ~Responder() = default;

    virtual bool canBecomeFirstResponder() const { return false; }
    // Takes the focus. False when this responder cannot, is not on screen, or the current
    // holder will not give it up.
    virtual bool becomeFirstResponder();
    // Gives the focus up. True also when this responder did not hold it.
    virtual bool resignFirstResponder();
    bool isFirstResponder() const;

    // Part of what is on screen now.
    virtual bool isOnScreen() const = 0;
};

// A weak reference to `object` seen as one of its interfaces (a delegate, a data source),
// sharing the object's ownership. Throws std::logic_error when `object` is not owned by a
// shared_ptr yet (inside its constructor, or made on the stack).
template <class Interface, class T>
std::weak_ptr<Interface> weakAs(T& object) {
    const auto owner = object.weak_from_this().lock();
    if (!owner) {
        throw std::logic_error("a delegate or target must be owned by a shared_ptr");
    }
    return std::shared_ptr<Interface>(owner, static_cast<Interface*>(&object));
}

}  // namespace jw::ui
