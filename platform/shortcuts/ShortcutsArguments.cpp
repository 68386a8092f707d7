#include "platform/shortcuts/ShortcutsArguments.h"

#include <charconv>
#include <limits>

#include "core/text/Characters.h"
#include "core/text/UnicodeText.h"

namespace lidora::vmac {

namespace {

std::string inQuotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::optional<std::int64_t> wholeNumber(std::string_view text) {
    if (text.ends_with('%')) {
        text.remove_suffix(1);
    }
    const bool negative = text.starts_with('-');
    std::string_view digits = negative || text.starts_with('+') ? text.substr(1) : text;
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    const auto [end, error] =
        std::from_chars(text.data() + (text.starts_with('+') ? 1 : 0), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) {
        return negative ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    }
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<bool> boolean(std::string_view text) {
    const std::string upper = uppercased(text);
    for (const auto* yes : {"TRUE", "YES", "ON", "1"}) {
        if (upper == yes) {
            return true;
        }
    }
    for (const auto* no : {"FALSE", "NO", "OFF", "0"}) {
        if (upper == no) {
            return false;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> enumRawValue(const CatalogEnum& appEnum, std::string_view typed) {
    const std::string wanted = uppercased(trimmingWhitespaceAndNewlines(typed));
    for (const auto& c : appEnum.cases) {
        bool named = uppercased(c.rawValue) == wanted || uppercased(c.title) == wanted;
        for (const auto& synonym : c.synonyms) {
            named = named || uppercased(synonym) == wanted;
        }
        if (named) {
            return c.rawValue;
        }
    }
    return std::nullopt;
}

Expected<ArgumentValue, std::string> argumentValue(const ShortcutsCatalog& catalog, const CatalogParameter& parameter,
                                                   std::string_view typed) {
    if (parameter.type == "text") {
        return ArgumentValue(decodingUtf8Lossily(typed));
    }
    const std::string trimmed = trimmingWhitespaceAndNewlines(decodingUtf8Lossily(typed));
    if (parameter.type == "integer") {
        if (const auto number = wholeNumber(trimmed)) {
            return ArgumentValue(*number);
        }
        return unexpected(parameter.title + " takes a whole number, not " + inQuotes(trimmed));
    }
    if (parameter.type == "boolean") {
        if (const auto value = boolean(trimmed)) {
            return ArgumentValue(*value);
        }
        return unexpected(parameter.title + " takes true or false, not " + inQuotes(trimmed));
    }
    const auto* appEnum = catalog.enumeration(parameter.enumIdentifier);
    if (appEnum != nullptr) {
        if (auto raw = enumRawValue(*appEnum, trimmed)) {
            return ArgumentValue(std::move(*raw));
        }
    }
    return unexpected(inQuotes(trimmed) + " is not a choice for " + parameter.title + " (" +
                      choicesText(catalog, parameter) + ")");
}

std::string choicesText(const ShortcutsCatalog& catalog, const CatalogParameter& parameter) {
    if (parameter.type == "boolean") {
        return "true, false";
    }
    const auto* appEnum = parameter.type == "enum" ? catalog.enumeration(parameter.enumIdentifier) : nullptr;
    if (appEnum == nullptr) {
        return {};
    }
    std::string out;
    for (const auto& c : appEnum->cases) {
        out += (out.empty() ? "" : ", ") + c.rawValue;
        if (c.title != c.rawValue) {
            out += " (" + c.title + (c.subtitle.empty() ? "" : ", " + c.subtitle) + ")";
        }
    }
    return out;
}

}  // namespace lidora::vmac
