#pragma once

#include <string>
#include <string_view>

#include "core/prefs/PreferenceValue.h"
#include "core/runtime/Expected.h"

namespace lidora::vmac {

// A whole XML property-list document, as Info.plist files are: an optional
// <?xml …?> declaration and DOCTYPE, then <plist version="1.0"> around one
// element. Errors give the line and column in the document.
Expected<PreferenceValue, std::string> parseXmlPlistDocument(std::string_view text);

}  // namespace lidora::vmac
