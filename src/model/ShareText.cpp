#include "ShareText.h"

#include "Entities.h"

namespace jw::model {

std::string shareText(const std::vector<Item*>& shownItems) {
    std::string text;
    if (shownItems.empty()) {
        return text;
    }
    if (const List* list = shownItems.front()->forList()) {
        text = list->name().value_or("");
    }
    text += ":";
    for (const Item* item : shownItems) {
        text += item->isDone() ? "\n\u2714\uFE0E " : "\n- ";
        text += item->body().value_or("");
    }
    return text;
}

}  // namespace jw::model
