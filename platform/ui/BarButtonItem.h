#pragma once
// A button of a navigation bar or a toolbar: a system item (Add, Cancel, Save, the share
// icon, a flexible space...) or an item with a title, with a target-action. A tap is
// sendAction(). Changes are reported to the observer. Made with make_shared (the factories).
// Main thread.

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/TargetAction.h"

namespace jw::ui {

enum class SystemItem {
    done = 0,
    cancel = 1,
    edit = 2,
    save = 3,
    add = 4,
    flexibleSpace = 5,
    fixedSpace = 6,
    compose = 7,
    reply = 8,
    action = 9,  // the share icon
};

enum class BarButtonItemStyle { plain = 0, done = 2 };

class BarButtonItem {
  public:
    using Action = TargetAction<BarButtonItem>;

    static std::shared_ptr<BarButtonItem> withSystemItem(SystemItem item, Action action = {});
    static std::shared_ptr<BarButtonItem> withTitle(std::string title, BarButtonItemStyle style,
                                                    Action action = {});

    // None for a titled item.
    std::optional<SystemItem> systemItem() const { return systemItem_; }
    bool isSpace() const;
    // Empty for a system item, which shows the platform's own label or icon.
    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    BarButtonItemStyle style() const { return style_; }
    void setStyle(BarButtonItemStyle style);
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    const Action& action() const { return action_; }
    void setAction(Action action) { action_ = std::move(action); }

    // A person's tap: sends the action to its target (nothing when it has none). Throws
    // std::logic_error for a disabled item or a space, which nobody can tap.
    void sendAction();

    BarButtonItem(std::optional<SystemItem> systemItem, std::string title, BarButtonItemStyle style,
                  Action action);

  private:
    void changed();

    std::optional<SystemItem> systemItem_;
    std::string title_;
    BarButtonItemStyle style_;
    bool enabled_ = true;
    Action action_;
};

}  // namespace jw::ui
