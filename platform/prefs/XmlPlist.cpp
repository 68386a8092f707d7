#include "platform/prefs/XmlPlist.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <optional>

#include "platform/prefs/ParseSupport.h"

namespace lidora::vmac {

namespace {

struct Tag {
    std::string name;
    bool empty = false;  // <name/>
};

class XmlParser : private TextCursor {
public:
    explicit XmlParser(std::string_view text) : TextCursor(text) {}

    Expected<PreferenceValue, std::string> parseDocument() {
        skipSpace();
        if (atEnd()) {
            return unexpected(positionedError(text_, pos_, "no element in the text"));
        }
        PreferenceValue value = parseElement(0);
        skipSpace();
        if (!failed() && !atEnd()) {
            fail("unexpected text after the element");
        }
        if (failed()) {
            return unexpected(error());
        }
        return value;
    }

private:
    void skipSpace() {
        if (!failed() && !skipXmlMisc()) {
            fail("comment is not closed");
        }
    }

    std::optional<Tag> openingTag() {
        if (atEnd() || text_[pos_] != '<' || startsWith("</")) {
            fail(atEnd() ? "the text ends where an element should be" : "expected an element");
            return std::nullopt;
        }
        ++pos_;
        Tag tag;
        while (!atEnd() && std::isalpha(static_cast<unsigned char>(text_[pos_]))) {
            tag.name += text_[pos_++];
        }
        skipWhitespace();
        if (startsWith("/>")) {
            tag.empty = true;
            pos_ += 2;
        } else if (startsWith(">")) {
            ++pos_;
        } else {
            fail(tag.name.empty() ? "expected an element name" : "attributes are not supported");
            return std::nullopt;
        }
        return tag;
    }

    void closingTag(const std::string& name) {
        const std::string expected = "</" + name;
        if (!startsWith(expected)) {
            fail("expected " + expected + ">");
            return;
        }
        pos_ += expected.size();
        skipWhitespace();
        if (!startsWith(">")) {
            fail("expected " + expected + ">");
            return;
        }
        ++pos_;
    }

    PreferenceValue parseElement(int depth) {
        const std::size_t start = pos_;
        const auto tag = openingTag();
        if (!tag) {
            return {};
        }
        const std::string& name = tag->name;
        if (name == "array" || name == "dict") {
            if (tooDeep(depth, start)) {
                return {};
            }
            if (tag->empty) {
                return name == "array" ? PreferenceValue(PreferenceArray{}) : PreferenceValue(PreferenceDictionary{});
            }
            return name == "array" ? parseArrayBody(depth + 1) : parseDictionaryBody(depth + 1);
        }
        if (name == "true" || name == "false") {
            if (!tag->empty) {
                closingTag(name);
            }
            return name == "true";
        }
        if (name == "string" || name == "integer" || name == "real") {
            const std::size_t textStart = pos_;
            const std::string content = tag->empty ? std::string() : textContent(name);
            if (failed()) {
                return {};
            }
            return scalar(name, content, textStart);
        }
        if (name == "key") {
            failAt(start, "<key> belongs only in a <dict>");
        } else if (name == "date" || name == "data") {
            failAt(start, "<" + name + "> values are not supported");
        } else {
            failAt(start, "unknown element <" + name + ">");
        }
        return {};
    }

    PreferenceValue scalar(const std::string& name, const std::string& content, std::size_t offset) {
        if (name == "string") {
            return content;
        }
        std::string_view trimmed = content;
        while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.front()))) {
            trimmed.remove_prefix(1);
        }
        while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.back()))) {
            trimmed.remove_suffix(1);
        }
        if (name == "integer") {
            auto value = parseIntegerText(trimmed);
            if (!value) {
                failAt(offset, value.error());
                return {};
            }
            return *value;
        }
        auto value = parseRealText(trimmed);
        if (!value) {
            failAt(offset, value.error());
            return {};
        }
        return *value;
    }

    // Text up to the closing tag, with entities decoded.
    std::string textContent(const std::string& name) {
        std::string out;
        while (!atEnd() && text_[pos_] != '<') {
            if (text_[pos_] != '&') {
                out += text_[pos_++];
                continue;
            }
            if (!appendEntity(out)) {
                return {};
            }
        }
        closingTag(name);
        return out;
    }

    bool appendEntity(std::string& out) {
        const std::size_t start = pos_;
        const auto end = text_.find(';', pos_);
        if (end == std::string_view::npos || end - pos_ > 12) {
            fail("'&' must start an entity such as &amp;");
            return false;
        }
        const std::string_view entity = text_.substr(pos_ + 1, end - pos_ - 1);
        pos_ = end + 1;
        if (entity == "amp") {
            out += '&';
        } else if (entity == "lt") {
            out += '<';
        } else if (entity == "gt") {
            out += '>';
        } else if (entity == "quot") {
            out += '"';
        } else if (entity == "apos") {
            out += '\'';
        } else if (entity.size() > 1 && entity.front() == '#') {
            const bool hex = entity[1] == 'x' || entity[1] == 'X';
            const std::string_view digits = entity.substr(hex ? 2 : 1);
            std::uint32_t code = 0;
            const auto [ptr, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
            if (digits.empty() || error != std::errc() || ptr != digits.data() + digits.size() ||
                !appendUtf8(out, static_cast<char32_t>(code))) {
                failAt(start, "invalid character reference &" + std::string(entity) + ";");
                return false;
            }
        } else {
            failAt(start, "unknown entity &" + std::string(entity) + ";");
            return false;
        }
        return true;
    }

    PreferenceValue parseArrayBody(int depth) {
        PreferenceArray items;
        skipSpace();
        while (!failed() && !atEnd() && !startsWith("</")) {
            items.push_back(parseElement(depth));
            skipSpace();
        }
        closingTag("array");
        return items;
    }

    PreferenceValue parseDictionaryBody(int depth) {
        PreferenceDictionary entries;
        skipSpace();
        while (!failed() && !atEnd() && !startsWith("</")) {
            const std::size_t keyStart = pos_;
            const auto tag = openingTag();
            if (!tag) {
                break;
            }
            if (tag->name != "key") {
                failAt(keyStart, "expected <key> in the dictionary");
                break;
            }
            std::string key = tag->empty ? std::string() : textContent("key");
            skipSpace();
            if (failed()) {
                break;
            }
            if (atEnd() || startsWith("</")) {
                fail("key \"" + key + "\" has no value");
                break;
            }
            PreferenceValue value = parseElement(depth);
            skipSpace();
            entries.insert_or_assign(std::move(key), std::move(value));
        }
        closingTag("dict");
        return entries;
    }
};

}  // namespace

Expected<PreferenceValue, std::string> parseXmlPlistFragment(std::string_view text) {
    return XmlParser(text).parseDocument();
}

std::string xmlEscaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            // Readers turn a raw carriage return into a line feed.
            case '\r': out += "&#13;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace lidora::vmac
