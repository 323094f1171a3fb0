#include "frontends/qt/SettingsPanel.h"

#include <QPointer>

namespace jw::qt {

SettingsPanel::SettingsPanel(std::unique_ptr<CloudSettings> settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)) {}

SettingsPanel::~SettingsPanel() = default;

void SettingsPanel::refresh() {
    const auto summary = settings_->summary();
    const auto text = [](const std::string& s) { return QString::fromStdString(s); };
    bool changed = false;
    const auto set = [&changed](auto& field, const auto& value) {
        if (field != value) {
            field = value;
            changed = true;
        }
    };
    set(folder_, text(summary.folder));
    set(state_, text(summary.state));
    set(waiting_, text(summary.waiting));
    set(problem_, text(summary.problem));
    set(note_, text(summary.note));
    set(canReattach_, summary.canReattach);
    set(busy_, summary.busy);
    if (changed) {
        emit this->changed();
    }
}

void SettingsPanel::chooseFolder(const QUrl& folder) {
    const QString path = folder.isLocalFile() ? folder.toLocalFile() : folder.toString();
    if (path.isEmpty() || moving_) {
        return;
    }
    moving_ = true;
    message_.clear();
    emit changed();
    QPointer<SettingsPanel> self(this);
    settings_->chooseFolder(path.toStdString(), [self](const std::optional<std::string>& whyNot) {
        if (!self) {
            return;
        }
        self->moving_ = false;
        self->message_ = whyNot ? QString::fromStdString(*whyNot) : QString();
        emit self->changed();
        self->refresh();
    });
    refresh();
}

void SettingsPanel::reattach() {
    settings_->reattach();
    refresh();
}

}  // namespace jw::qt
