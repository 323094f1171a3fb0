#include "frontends/qt/PermissionPrompt.h"

#include <QPointer>

#include <utility>

#include "platform/notifications/AuthorizationPromptText.h"

namespace jw::qt {

namespace {

// What the centre holds: it may outlive the window, so it holds the dialog weakly.
class Prompt final : public AuthorizationPrompt {
  public:
    explicit Prompt(PermissionPrompt* dialog) : dialog_(dialog) {}
    void askForAuthorization(AuthorizationOptions options,
                             std::function<void(bool allowed)> answer) override {
        if (dialog_) {
            dialog_->ask(options, std::move(answer));
        }
    }

  private:
    QPointer<PermissionPrompt> dialog_;
};

}  // namespace

PermissionPrompt::PermissionPrompt(QObject* parent) : QObject(parent) {}

PermissionPrompt::~PermissionPrompt() = default;

std::shared_ptr<AuthorizationPrompt> PermissionPrompt::prompt() {
    if (!prompt_) {
        prompt_ = std::make_shared<Prompt>(this);
    }
    return prompt_;
}

void PermissionPrompt::ask(AuthorizationOptions options, std::function<void(bool)> answer) {
    const auto text = authorizationPromptText("Jotwell", options);
    title_ = QString::fromStdString(text.title);
    message_ = QString::fromStdString(text.message);
    allowText_ = QString::fromStdString(text.allow);
    denyText_ = QString::fromStdString(text.deny);
    answer_ = std::move(answer);
    emit changed();
}

void PermissionPrompt::answer(bool allowed) {
    auto answer = std::exchange(answer_, {});
    if (!answer) {
        return;
    }
    emit changed();
    answer(allowed);
}

}  // namespace jw::qt
