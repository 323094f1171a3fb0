#include "platform/ui/Responder.h"

#include "platform/ui/Application.h"

namespace jw::ui {

bool Responder::becomeFirstResponder() {
    Application& application = Application::shared();
    if (isFirstResponder()) {
        return true;
    }
    if (!canBecomeFirstResponder() || !isOnScreen()) {
        return false;
    }
    auto self = weak_from_this().lock();
    if (!self) {
        throw std::logic_error("a responder must be owned by a shared_ptr");
    }
    if (const auto current = application.firstResponder();
        current && !current->resignFirstResponder()) {
        return false;
    }
    application.setFirstResponder(self);
    return true;
}

bool Responder::resignFirstResponder() {
    if (isFirstResponder()) {
        Application::shared().setFirstResponder(nullptr);
    }
    return true;
}

bool Responder::isFirstResponder() const {
    return Application::shared().firstResponder().get() == this;
}

}  // namespace jw::ui
