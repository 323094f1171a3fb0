#pragma once
// The target-action pair of a control or a bar button item: a member function of a responder
// (a screen, a cell), held weakly, so an item never keeps its screen alive. An action whose
// target is gone is not sent. Actions take no argument or the sender (the control or item, or
// a subclass of it; a sender of another class is a programming error and throws
// std::bad_cast).

#include <concepts>
#include <functional>
#include <memory>

#include "platform/ui/Responder.h"

namespace jw::ui {

template <class Sender>
class TargetAction {
  public:
    TargetAction() = default;

    // `target` must already be owned by a shared_ptr (see Responder.h).
    template <class Target>
    requires std::derived_from<Target, Responder> TargetAction(Target* target,
                                                               void (Target::*action)())
        : target_(weakAs<Responder>(*target)), call_([action](Responder& object, Sender&) {
              (static_cast<Target&>(object).*action)();
          }) {}

    template <class Target, class S>
    requires std::derived_from<Target, Responder> && std::derived_from<S, Sender> TargetAction(
        Target* target, void (Target::*action)(S&))
        : target_(weakAs<Responder>(*target)), call_([action](Responder& object, Sender& sender) {
              (static_cast<Target&>(object).*action)(dynamic_cast<S&>(sender));
          }) {}

    bool empty() const { return !call_; }
    std::shared_ptr<Responder> target() const { return target_.lock(); }

    // Calls the action on its target; false when there is none or the target is gone.
    bool send(Sender& sender) const {
        const auto target = target_.lock();
        if (!target || !call_) {
            return false;
        }
        call_(*target, sender);
        return true;
    }

  private:
    std::weak_ptr<Responder> target_;
    std::function<void(Responder&, Sender&)> call_;
};

}  // namespace jw::ui
