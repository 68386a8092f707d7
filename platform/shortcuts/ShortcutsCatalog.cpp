#include "platform/shortcuts/ShortcutsCatalog.h"

#include "core/text/Characters.h"

namespace lidora::vmac {

const CatalogAction* ShortcutsCatalog::actionByIdentifier(std::string_view identifier) const {
    for (const auto& action : actions) {
        if (action.identifier == identifier) {
            return &action;
        }
    }
    return nullptr;
}

const CatalogAction* ShortcutsCatalog::actionByTitle(std::string_view title) const {
    const std::string wanted = uppercased(title);
    for (const auto& action : actions) {
        if (uppercased(action.title) == wanted) {
            return &action;
        }
    }
    return nullptr;
}

const CatalogEnum* ShortcutsCatalog::enumeration(std::string_view identifier) const {
    for (const auto& e : enums) {
        if (e.identifier == identifier) {
            return &e;
        }
    }
    return nullptr;
}

}  // namespace lidora::vmac
