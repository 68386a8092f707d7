#pragma once

#include <string>
#include <string_view>

#include "core/prefs/PreferenceValue.h"
#include "core/runtime/Expected.h"

namespace lidora::vmac {

// One XML property-list element as `defaults write` takes it on the command
// line: <array>, <dict> with <key>, <integer>, <real>, <string>, <true/>,
// <false/>, nested, with the five named XML entities and numeric character
// references. Errors say where the text went wrong.
Expected<PreferenceValue, std::string> parseXmlPlistFragment(std::string_view text);

// Text as XML character data or attribute value: &, <, >, " and carriage
// returns escaped.
std::string xmlEscaped(std::string_view text);

}  // namespace lidora::vmac
