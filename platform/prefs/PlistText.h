#pragma once

#include <string>
#include <string_view>

#include "core/prefs/PreferenceValue.h"
#include "core/runtime/Expected.h"

namespace lidora::vmac {

// A value as `defaults read` prints it: scalars plain at the top (Booleans
// as 1 or 0, doubles in their shortest exact form), containers in old-style
// property-list text with the indentation macOS uses.
std::string formatPlistText(const PreferenceValue& value);

// Old-style property-list text: ( a, b ) arrays, { key = value; } dictionaries,
// quoted or bare strings, // and /* */ comments. Every scalar is a string, as
// that format has no other. Errors say where the text went wrong.
Expected<PreferenceValue, std::string> parseOldStylePlist(std::string_view text);

}  // namespace lidora::vmac
