#include "platform/ui/ActivityViewController.h"

#include <algorithm>
#include <stdexcept>

#include "platform/foundation/DebugLog.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/AlertController.h"

namespace jw::ui {

namespace {

std::string percentEncoded(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char byte : text) {
        const auto c = static_cast<unsigned char>(byte);
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (unreserved) {
            encoded += byte;
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 0xF];
        }
    }
    return encoded;
}

// Mail lines end in CR LF; a lone line feed in the text becomes one.
std::string withMailLineEnds(const std::string& text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            result += '\r';
        }
        result += text[i];
    }
    return result;
}

}  // namespace

std::string activityTitle(ActivityType type) {
    switch (type) {
        case ActivityType::copyToPasteboard:
            return "Copy";
        case ActivityType::saveToFile:
            return "Save";
        case ActivityType::print:
            return "Print";
        case ActivityType::mail:
            return "Email";
    }
    return {};
}

Url mailtoUrl(const std::string& subject, const std::string& body) {
    std::string url = "mailto:";
    char separator = '?';
    for (const auto& [field, value] : {std::pair{"subject=", &subject}, {"body=", &body}}) {
        if (!value->empty()) {
            url += separator;
            url += field;
            url += percentEncoded(withMailLineEnds(*value));
            separator = '&';
        }
    }
    return Url{url};
}

std::vector<ActivityType> ActivityViewController::availableActivities() const {
    const bool text = std::any_of(activityItems_.begin(), activityItems_.end(), [](auto& item) {
        return !std::holds_alternative<SimpleTextPrintFormatter>(item);
    });
    std::vector<ActivityType> offered;
    if (text) {
        offered = {ActivityType::copyToPasteboard, ActivityType::saveToFile};
    }
    if (printedText()) {
        offered.push_back(ActivityType::print);
    }
    if (text) {
        offered.push_back(ActivityType::mail);
    }
    return offered;
}

std::string ActivityViewController::sharedText() const {
    std::string text;
    bool first = true;
    for (const auto& item : activityItems_) {
        const std::string* piece = nullptr;
        if (const auto* string = std::get_if<std::string>(&item)) {
            piece = string;
        } else if (const auto* url = std::get_if<Url>(&item)) {
            piece = &url->absoluteString;
        }
        if (piece) {
            text += (first ? "" : "\n") + *piece;
            first = false;
        }
    }
    return text;
}

std::optional<std::string> ActivityViewController::printedText() const {
    for (const auto& item : activityItems_) {
        if (const auto* formatter = std::get_if<SimpleTextPrintFormatter>(&item)) {
            return formatter->text;
        }
    }
    return std::nullopt;
}

std::string ActivityViewController::subject() const {
    const std::string text = sharedText();
    std::string subject = text.substr(0, text.find('\n'));
    if (!subject.empty() && subject.back() == ':') {
        subject.pop_back();
    }
    return subject;
}

Url ActivityViewController::mailUrl() const {
    return mailtoUrl(subject(), sharedText());
}

std::string ActivityViewController::suggestedFileName() const {
    std::string name = subject();
    for (char& c : name) {
        if (c == '/' || static_cast<unsigned char>(c) < 0x20) {
            c = '-';
        }
    }
    return (name.empty() ? std::string("Jotwell") : name) + ".txt";
}

void ActivityViewController::finish(std::optional<ActivityType> activityType, bool completed) {
    if (activityType) {
        const auto offered = availableActivities();
        if (std::find(offered.begin(), offered.end(), *activityType) == offered.end()) {
            throw std::logic_error("the share sheet does not offer " +
                                   activityTitle(*activityType));
        }
    }
    // Taken first: the handler may present something else, and the sheet is told once.
    auto handler = std::move(completionWithItemsHandler_);
    completionWithItemsHandler_ = nullptr;
    dismiss(true);
    if (handler) {
        handler(activityType, completed && activityType.has_value());
    }
}

void ActivityViewController::presentFailure(const std::string& title, const std::string& message) {
    debugLog("share: " + title + ": " + message);
    auto alert = AlertController::make(title, message, AlertControllerStyle::alert);
    alert->addAction(AlertAction::make("OK", AlertActionStyle::cancel));
    present(alert, true);
}

bool ActivityViewController::saveToFile(const std::filesystem::path& file) {
    try {
        writeFileAtomically(file, sharedText());
    } catch (const std::exception& error) {
        presentFailure("Not Saved", std::string("The text was not saved: ") + error.what() + ".");
        return false;
    }
    finish(ActivityType::saveToFile, true);
    return true;
}

bool ActivityViewController::sendMail(const std::function<bool(const Url&)>& open) {
    const auto url = mailUrl();
    if (url.absoluteString.size() > kMailUrlLimit) {
        presentFailure("Not Sent",
                       "The text is too long for an email. Copy it or save it to a file instead.");
        return false;
    }
    if (!open(url)) {
        presentFailure("Not Sent",
                       "No email program could be opened. Copy the text or save it to a file "
                       "instead.");
        return false;
    }
    finish(ActivityType::mail, true);
    return true;
}

}  // namespace jw::ui
