#include "platform/prefs/PreferenceJson.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/prefs/ParseSupport.h"

namespace lidora::vmac {

namespace {

using Json = nlohmann::json;

std::optional<std::string> toJson(const PreferenceValue& value, int depth, Json& out) {
    if (const auto* b = std::get_if<bool>(&value.storage())) {
        out = *b;
    } else if (const auto* i = std::get_if<std::int64_t>(&value.storage())) {
        out = *i;
    } else if (const auto* d = std::get_if<double>(&value.storage())) {
        if (!std::isfinite(*d)) {
            return "a number that is not finite cannot be stored";
        }
        out = *d;
    } else if (const auto* s = value.asString()) {
        out = *s;
    } else {
        if (depth >= kMaxPlistDepth) {
            return "values nested deeper than " + std::to_string(kMaxPlistDepth) + " levels cannot be stored";
        }
        if (const auto* array = value.asArray()) {
            out = Json::array();
            for (const auto& item : *array) {
                Json element;
                if (auto error = toJson(item, depth + 1, element)) {
                    return error;
                }
                out.push_back(std::move(element));
            }
        } else {
            out = Json::object();
            for (const auto& [key, item] : *value.asDictionary()) {
                if (auto error = toJson(item, depth + 1, out[key])) {
                    return error;
                }
            }
        }
    }
    return std::nullopt;
}

Expected<PreferenceValue, std::string> fromJson(const Json& json, int depth) {
    switch (json.type()) {
        case Json::value_t::boolean: return PreferenceValue(json.get<bool>());
        case Json::value_t::number_integer: return PreferenceValue(json.get<std::int64_t>());
        case Json::value_t::number_unsigned: {
            const auto value = json.get<std::uint64_t>();
            if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                return unexpected(std::string("it holds an integer beyond the 64-bit range"));
            }
            return PreferenceValue(static_cast<std::int64_t>(value));
        }
        case Json::value_t::number_float: {
            const double value = json.get<double>();
            if (!std::isfinite(value)) {
                return unexpected(std::string("it holds a number that is not finite"));
            }
            return PreferenceValue(value);
        }
        case Json::value_t::string: return PreferenceValue(json.get<std::string>());
        case Json::value_t::array:
        case Json::value_t::object: {
            if (depth >= kMaxPlistDepth) {
                return unexpected("it nests values deeper than " + std::to_string(kMaxPlistDepth) + " levels");
            }
            if (json.is_array()) {
                PreferenceArray items;
                items.reserve(json.size());
                for (const auto& element : json) {
                    auto item = fromJson(element, depth + 1);
                    if (!item) {
                        return item;
                    }
                    items.push_back(std::move(item).value());
                }
                return PreferenceValue(std::move(items));
            }
            PreferenceDictionary entries;
            for (const auto& [key, element] : json.items()) {
                auto item = fromJson(element, depth + 1);
                if (!item) {
                    return item;
                }
                entries.emplace(key, std::move(item).value());
            }
            return PreferenceValue(std::move(entries));
        }
        default: return unexpected(std::string("it holds a null or binary value"));
    }
}

}  // namespace

Expected<std::string, std::string> encodeDomainJson(const PreferenceDictionary& values) {
    Json root = Json::object();
    for (const auto& [key, value] : values) {
        if (auto error = toJson(value, 0, root[key])) {
            return unexpected(std::move(*error));
        }
    }
    try {
        return root.dump(4) + "\n";
    } catch (const Json::type_error&) {
        // The only type error dump() raises is for text that is not UTF-8.
        return unexpected(std::string("keys and strings must be UTF-8 text"));
    }
}

Expected<PreferenceDictionary, std::string> decodeDomainJson(std::string_view text) {
    const Json root = Json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (root.is_discarded()) {
        return unexpected(std::string("it is not JSON"));
    }
    if (!root.is_object()) {
        return unexpected(std::string("it is not a JSON object"));
    }
    PreferenceDictionary values;
    for (const auto& [key, element] : root.items()) {
        auto value = fromJson(element, 0);
        if (!value) {
            return unexpected(value.error());
        }
        values.emplace(key, std::move(value).value());
    }
    return values;
}

Expected<std::string, std::string> encodePreferenceValueJson(const PreferenceValue& value) {
    Json json;
    if (auto error = toJson(value, 0, json)) {
        return unexpected(std::move(*error));
    }
    try {
        return json.dump();
    } catch (const Json::type_error&) {
        return unexpected(std::string("strings must be UTF-8 text"));
    }
}

Expected<PreferenceValue, std::string> decodePreferenceValueJson(std::string_view text) {
    const Json json = Json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded()) {
        return unexpected(std::string("it is not JSON"));
    }
    return fromJson(json, 0);
}

}  // namespace lidora::vmac
