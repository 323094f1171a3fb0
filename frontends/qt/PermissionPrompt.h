#pragma once
// The application's own "allow notifications?" dialog, as the notification centre's
// AuthorizationPrompt: asking shows it (PermissionPrompt.qml draws `showing`, `title`,
// `message` and the two buttons), and the first answer() closes it and goes to the centre.
// Later answers, and answers while nothing is asked, do nothing. Closing the window with the
// question open leaves it unanswered (the centre asks again next time).
//
// prompt() is what the centre is given; it may outlive this object and then never answers.
// Main thread only (the centre asks on the main thread).

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "platform/notifications/AuthorizationPrompt.h"

namespace jw::qt {

class PermissionPrompt final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool showing READ showing NOTIFY changed)
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(QString message READ message NOTIFY changed)
    Q_PROPERTY(QString allowText READ allowText NOTIFY changed)
    Q_PROPERTY(QString denyText READ denyText NOTIFY changed)
  public:
    explicit PermissionPrompt(QObject* parent = nullptr);
    ~PermissionPrompt() override;

    std::shared_ptr<AuthorizationPrompt> prompt();
    void ask(AuthorizationOptions options, std::function<void(bool)> answer);

    bool showing() const { return static_cast<bool>(answer_); }
    QString title() const { return title_; }
    QString message() const { return message_; }
    QString allowText() const { return allowText_; }
    QString denyText() const { return denyText_; }

    Q_INVOKABLE void answer(bool allowed);

  signals:
    void changed();

  private:
    std::function<void(bool)> answer_;
    QString title_;
    QString message_;
    QString allowText_;
    QString denyText_;
    std::shared_ptr<AuthorizationPrompt> prompt_;
};

}  // namespace jw::qt
