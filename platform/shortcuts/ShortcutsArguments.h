#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/runtime/Expected.h"
#include "core/shortcuts/ShortcutsAction.h"
#include "platform/shortcuts/ShortcutsCatalog.h"

namespace lidora::vmac {

// The raw value of the case that `typed` names by raw value, title or
// synonym, in any case.
std::optional<std::string> enumRawValue(const CatalogEnum& appEnum, std::string_view typed);

// A value typed for a parameter, taken as Shortcuts takes it: enumeration
// cases by raw value, title or synonym; whole numbers as given (a number
// past what 64 bits hold counts as the largest or smallest); Booleans as
// true/false, yes/no, on/off or 1/0; text as valid UTF-8 (U+FFFD for
// invalid bytes).
Expected<ArgumentValue, std::string> argumentValue(const ShortcutsCatalog& catalog, const CatalogParameter& parameter,
                                                   std::string_view typed);

// What a prompt offers: "on, off"; empty for text and numbers.
std::string choicesText(const ShortcutsCatalog& catalog, const CatalogParameter& parameter);

}  // namespace lidora::vmac
