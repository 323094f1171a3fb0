#include "JWListFilter.h"

namespace jw::model {

std::string_view filterButtonTitle(JWListFilter filter) {
    switch (filter) {
        case JWListFilter::checked:
            return "\u2714\uFE0E Checked";
        case JWListFilter::unchecked:
            return "\u2610 Unchecked";
        case JWListFilter::none:
            break;
    }
    return "All";
}

JWListFilter nextFilter(JWListFilter filter) {
    switch (filter) {
        case JWListFilter::none:
            return JWListFilter::unchecked;
        case JWListFilter::unchecked:
            return JWListFilter::checked;
        case JWListFilter::checked:
            break;
    }
    return JWListFilter::none;
}

}  // namespace jw::model
