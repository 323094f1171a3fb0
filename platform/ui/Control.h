#pragma once
// A view that sends actions to targets when events happen to it (a tap, the end of editing,
// a new value). Actions registered for one event are sent in the order they were added.
// Main thread.

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/ui/TargetAction.h"
#include "platform/ui/View.h"

namespace jw::ui {

enum class ControlEvent : std::uint32_t {
    touchUpInside = 1u << 6,
    valueChanged = 1u << 12,
    editingDidBegin = 1u << 16,
    editingChanged = 1u << 17,
    editingDidEnd = 1u << 18,
    editingDidEndOnExit = 1u << 19,  // the return key of a text field
};

enum class ControlState { normal, highlighted, disabled, selected };

class Control : public View {
  public:
    using Action = TargetAction<Control>;

    void addTarget(Action action, ControlEvent event);
    void removeAllTargets() { actions_.clear(); }
    bool hasActions(ControlEvent event) const;
    // Sends every action registered for `event`, as the control does when the event happens.
    // Sent whether or not the control is enabled: this is the programmatic call.
    void sendActions(ControlEvent event);

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { update(enabled_, enabled); }

  protected:
    // For the calls a person makes (tap, typing): throws std::logic_error naming `what` when
    // the control is disabled, hidden or not on screen.
    void requireReachable(const char* what) const;

  private:
    std::vector<std::pair<ControlEvent, Action>> actions_;
    bool enabled_ = true;
};

}  // namespace jw::ui
