#include "platform/prefs/PlistText.h"

#include <cctype>
#include <charconv>
#include <cstdio>

#include "platform/prefs/ParseSupport.h"

namespace lidora::vmac {

namespace {

std::string formatDouble(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

bool isBareWord(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') {
            return false;
        }
    }
    return true;
}

char32_t hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<char32_t>(c - '0');
    }
    return static_cast<char32_t>(std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
}

std::string plistQuoted(std::string_view text) {
    if (isBareWord(text)) {
        return std::string(text);
    }
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\U%04x", static_cast<unsigned>(c));
                    out += escape;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

// Mirrors the description methods of Foundation's collections: a container
// at `level` puts level*4 spaces before its own opening bracket, on top of
// the indentation its parent already wrote, hence 8 per level in the output.
void appendNested(std::string& out, const PreferenceValue& value, int level) {
    const std::string inner(static_cast<std::size_t>(level + 1) * 4, ' ');
    const std::string outer(static_cast<std::size_t>(level) * 4, ' ');
    if (const auto* array = value.asArray()) {
        out += outer + "(\n";
        for (std::size_t i = 0; i < array->size(); ++i) {
            out += inner;
            appendNested(out, (*array)[i], level + 1);
            out += i + 1 < array->size() ? ",\n" : "\n";
        }
        out += outer + ")";
    } else if (const auto* dictionary = value.asDictionary()) {
        out += outer + "{\n";
        for (const auto& [key, item] : *dictionary) {
            out += inner + plistQuoted(key) + " = ";
            appendNested(out, item, level + 1);
            out += ";\n";
        }
        out += outer + "}";
    } else if (const auto* text = value.asString()) {
        out += plistQuoted(*text);
    } else if (value.isDouble()) {
        out += plistQuoted(formatDouble(*value.asDouble()));
    } else {
        out += plistQuoted(std::to_string(*value.asInteger()));  // Booleans too, as 1 or 0
    }
}

class OldStyleParser : private TextCursor {
public:
    explicit OldStyleParser(std::string_view text) : TextCursor(text) {}

    Expected<PreferenceValue, std::string> parseDocument() {
        skipSpace();
        if (failed()) {
            return unexpected(error());
        }
        if (atEnd()) {
            return unexpected(positionedError(text_, pos_, "no value in the text"));
        }
        PreferenceValue value = parseValue(0);
        skipSpace();
        if (!failed() && !atEnd()) {
            fail("unexpected text after the value");
        }
        if (failed()) {
            return unexpected(error());
        }
        return value;
    }

private:
    void skipSpace() {
        while (!atEnd()) {
            if (std::isspace(static_cast<unsigned char>(peek()))) {
                ++pos_;
            } else if (text_.substr(pos_, 2) == "//") {
                const auto end = text_.find('\n', pos_);
                pos_ = end == std::string_view::npos ? text_.size() : end;
            } else if (text_.substr(pos_, 2) == "/*") {
                const auto end = text_.find("*/", pos_ + 2);
                if (end == std::string_view::npos) {
                    fail("comment is not closed");
                    pos_ = text_.size();
                    return;
                }
                pos_ = end + 2;
            } else {
                return;
            }
        }
    }

    static bool isBareChar(char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '/' || c == ':' ||
               c == '.' || c == '-' || c == '+';
    }

    PreferenceValue parseValue(int depth) {
        const char c = peek();
        if (c == '(' || c == '{') {
            if (tooDeep(depth, pos_)) {
                return {};
            }
            return c == '(' ? parseArray(depth + 1) : parseDictionary(depth + 1);
        }
        if (c == '"' || c == '\'') {
            return parseQuoted();
        }
        if (c == '<') {
            fail("data values are not supported");
            return {};
        }
        if (isBareChar(c)) {
            const std::size_t start = pos_;
            while (!atEnd() && isBareChar(peek())) {
                ++pos_;
            }
            return std::string(text_.substr(start, pos_ - start));
        }
        fail(atEnd() ? std::string("the text ends where a value should be")
                     : "unexpected character '" + std::string(1, c) + "'");
        return {};
    }

    // Consumes `c` and the space after it, or fails with `message`.
    bool expect(char c, std::string_view message) {
        if (failed()) {
            return false;
        }
        if (peek() != c) {
            fail(message);
            return false;
        }
        ++pos_;
        skipSpace();
        return !failed();
    }

    PreferenceValue parseArray(int depth) {
        expect('(', "expected '('");
        PreferenceArray items;
        while (!failed() && peek() != ')') {
            items.push_back(parseValue(depth));
            skipSpace();
            if (failed() || peek() == ')') {
                break;
            }
            expect(',', atEnd() ? "the array is not closed" : "expected ',' or ')' in the array");
        }
        expect(')', "the array is not closed");
        return items;
    }

    PreferenceValue parseDictionary(int depth) {
        expect('{', "expected '{'");
        PreferenceDictionary entries;
        while (!failed() && peek() != '}') {
            const char c = peek();
            if (c != '"' && c != '\'' && !isBareChar(c)) {
                fail(atEnd() ? "the dictionary is not closed" : "expected a key in the dictionary");
                break;
            }
            PreferenceValue key = parseValue(depth);
            skipSpace();
            if (!expect('=', "expected '=' after the key")) {
                break;
            }
            PreferenceValue value = parseValue(depth);
            skipSpace();
            if (!expect(';', "expected ';' after the value")) {
                break;
            }
            entries.insert_or_assign(*key.asString(), std::move(value));
        }
        expect('}', "the dictionary is not closed");
        return entries;
    }

    PreferenceValue parseQuoted() {
        const char quote = text_[pos_++];
        std::string out;
        while (!atEnd() && peek() != quote) {
            const char c = text_[pos_++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (atEnd()) {
                break;
            }
            appendEscape(out, text_[pos_++]);
            if (failed()) {
                return {};
            }
        }
        if (atEnd()) {
            fail("the quoted string is not closed");
            return {};
        }
        ++pos_;
        return out;
    }

    void appendEscape(std::string& out, char c) {
        switch (c) {
            case 'a': out += '\a'; return;
            case 'b': out += '\b'; return;
            case 'f': out += '\f'; return;
            case 'n': out += '\n'; return;
            case 'r': out += '\r'; return;
            case 't': out += '\t'; return;
            case 'v': out += '\v'; return;
            case 'U': {
                char32_t code = 0;
                int digits = 0;
                while (digits < 4 && !atEnd() && std::isxdigit(static_cast<unsigned char>(peek()))) {
                    code = code * 16 + hexDigitValue(text_[pos_++]);
                    ++digits;
                }
                if (digits == 0 || !appendUtf8(out, code)) {
                    fail("invalid \\U escape");
                }
                return;
            }
            default:
                if (c >= '0' && c <= '7') {
                    unsigned code = static_cast<unsigned>(c - '0');
                    for (int i = 0; i < 2 && peek() >= '0' && peek() <= '7'; ++i) {
                        code = code * 8 + static_cast<unsigned>(text_[pos_++] - '0');
                    }
                    // Bytes past ASCII would not be UTF-8 text on their own.
                    if (code == 0 || code > 0x7F) {
                        fail("octal escapes must name an ASCII character other than NUL");
                        return;
                    }
                    out += static_cast<char>(code);
                    return;
                }
                out += c;  // \" \' \\ and anything else stand for themselves
        }
    }
};

}  // namespace

std::string formatPlistText(const PreferenceValue& value) {
    if (value.isArray() || value.isDictionary()) {
        std::string out;
        appendNested(out, value, 0);
        return out;
    }
    if (const auto* text = value.asString()) {
        return *text;
    }
    if (value.isDouble()) {
        return formatDouble(*value.asDouble());
    }
    return std::to_string(*value.asInteger());
}

Expected<PreferenceValue, std::string> parseOldStylePlist(std::string_view text) {
    return OldStyleParser(text).parseDocument();
}

}  // namespace lidora::vmac
