#pragma once

#include <string>
#include <string_view>

#include "core/prefs/PreferenceValue.h"
#include "core/runtime/Expected.h"

namespace lidora::vmac {

// A domain on disk: one JSON object of key to value. Integers and doubles
// stay distinct (a double 1.0 is written as 1.0), so every value reads back
// with the type it was written with.
//
// Fails for what JSON cannot hold: NaN or infinite doubles, text that is not
// UTF-8, values nested deeper than kMaxPlistDepth.
Expected<std::string, std::string> encodeDomainJson(const PreferenceDictionary& values);

// Fails, saying why, for text that is not such an object.
Expected<PreferenceDictionary, std::string> decodeDomainJson(std::string_view text);

// One value alone, on one line, by the same rules.
Expected<std::string, std::string> encodePreferenceValueJson(const PreferenceValue& value);
Expected<PreferenceValue, std::string> decodePreferenceValueJson(std::string_view text);

}  // namespace lidora::vmac
