#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "core/prefs/PreferenceValue.h"
#include "core/runtime/Expected.h"

namespace lidora::defaults {

// What `defaults write DOMAIN KEY ...` asks for, read from the arguments
// after KEY.
struct ReplaceValue {
    PreferenceValue value;
};
struct AppendToArray {
    PreferenceArray items;
};
struct MergeIntoDictionary {
    PreferenceDictionary entries;
};
using WriteRequest = std::variant<ReplaceValue, AppendToArray, MergeIntoDictionary>;

// A plain VALUE is XML when it starts with '<', old-style text when it starts
// with '(' or '{', else a string. Typed forms: -string, -int/-integer,
// -float, -bool/-boolean, -array, -array-add, -dict, -dict-add; items of
// arrays and values of dictionaries may be typed or plain too.
Expected<WriteRequest, std::string> parseWriteArguments(std::span<const std::string_view> arguments);

}  // namespace lidora::defaults
