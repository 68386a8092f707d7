#pragma once

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
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

// The reading position in a text and the first error met there: what every
// reader of the property list formats starts from. Readers keep their own
// grammar and advance pos_ themselves.
class TextCursor {
public:
    explicit TextCursor(std::string_view text) : text_(text) {}

    [[nodiscard]] bool atEnd() const { return pos_ >= text_.size(); }
    [[nodiscard]] char peek() const { return atEnd() ? '\0' : text_[pos_]; }
    [[nodiscard]] bool startsWith(std::string_view prefix) const { return text_.substr(pos_, prefix.size()) == prefix; }
    [[nodiscard]] bool failed() const { return error_.has_value(); }
    [[nodiscard]] const std::string& error() const { return *error_; }

    // Only the first error counts: it is where the text went wrong.
    void fail(std::string_view message) { failAt(pos_, message); }
    void failAt(std::size_t offset, std::string_view message) {
        if (!error_) {
            error_ = positionedError(text_, offset, message);
        }
    }

    // Fails, at `offset`, when a container at `depth` would nest too deep.
    bool tooDeep(int depth, std::size_t offset) {
        if (depth < kMaxPlistDepth) {
            return false;
        }
        failAt(offset, "nested deeper than " + std::to_string(kMaxPlistDepth) + " levels");
        return true;
    }

    // Moves past the next `end`; false, staying put, when there is none.
    bool skipPast(std::string_view end) {
        const auto found = text_.find(end, pos_);
        if (found == std::string_view::npos) {
            return false;
        }
        pos_ = found + end.size();
        return true;
    }

    void skipWhitespace() {
        while (!atEnd() && std::isspace(static_cast<unsigned char>(text_[pos_])) != 0) {
            ++pos_;
        }
    }

    // White space and XML comments; false, at the comment, when one does
    // not end.
    bool skipXmlMisc() {
        for (;;) {
            skipWhitespace();
            if (!startsWith("<!--")) {
                return true;
            }
            if (!skipPast("-->")) {
                return false;
            }
        }
    }

protected:
    std::string_view text_;
    std::size_t pos_ = 0;

private:
    std::optional<std::string> error_;
};

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
