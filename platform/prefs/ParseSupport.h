#pragma once

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

#include "core/runtime/Expected.h"

namespace lidora::vmac {

// Deeper values are refused, so hostile text cannot exhaust the stack.
inline constexpr int kMaxPlistDepth = 64;

// "line 2, column 7: <message>" for a byte offset into text.
inline std::string positionedError(std::string_view text, std::size_t offset, std::string_view message) {
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + std::string(message);
}

// False for code points that have no UTF-8 form (surrogates, beyond U+10FFFF, NUL).
inline bool appendUtf8(std::string& out, char32_t c) {
    if (c == 0 || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
        return false;
    }
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return true;
}

// Whole-text decimal integer, optionally signed.
inline Expected<std::int64_t, std::string> parseIntegerText(std::string_view text) {
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || (digits.front() == '-' && text.front() == '+') || end != digits.data() + digits.size() ||
        error == std::errc::invalid_argument) {
        return unexpected("\"" + std::string(text) + "\" is not an integer");
    }
    if (error == std::errc::result_out_of_range) {
        return unexpected("\"" + std::string(text) + "\" is out of the 64-bit integer range");
    }
    return value;
}

// Whole-text finite decimal number; the store cannot keep NaN or infinities.
inline Expected<double, std::string> parseRealText(std::string_view text) {
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || (digits.front() == '-' && text.front() == '+') || end != digits.data() + digits.size() ||
        error == std::errc::invalid_argument) {
        return unexpected("\"" + std::string(text) + "\" is not a number");
    }
    if (error == std::errc::result_out_of_range) {
        return unexpected("\"" + std::string(text) + "\" is out of range");
    }
    if (!std::isfinite(value)) {
        return unexpected("\"" + std::string(text) + "\" is not a finite number");
    }
    return value;
}

}  // namespace lidora::vmac
