#pragma once

#include <ostream>

#include "core/prefs/PreferenceValue.h"
#include "platform/prefs/PlistText.h"

namespace lidora {

// Lets failing expectations show values the way `defaults read` does.
inline void PrintTo(const PreferenceValue& value, std::ostream* out) {
    *out << value.typeName() << ' ' << vmac::formatPlistText(value);
}

}  // namespace lidora
