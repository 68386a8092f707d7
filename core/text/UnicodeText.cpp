#include "core/text/UnicodeText.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace lidora {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool isTrimmed(UChar32 c) {
    return c >= 0 && (u_isUWhiteSpace(c) != 0 || c == 0x85);
}

}  // namespace

std::string trimmingWhitespaceAndNewlines(std::string_view text) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t start = 0;
    while (start < length) {
        int32_t next = start;
        UChar32 c = 0;
        U8_NEXT(s, next, length, c);
        if (!isTrimmed(c)) {
            break;
        }
        start = next;
    }
    int32_t end = length;
    while (end > start) {
        int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(s, start, previous, c);
        if (!isTrimmed(c)) {
            break;
        }
        end = previous;
    }
    return std::string(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

std::string decodingUtf8Lossily(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto length = static_cast<int32_t>(bytes.size());
    int32_t i = 0;
    while (i < length) {
        const int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(s, i, length, c);
        if (c < 0) {
            out.append(kReplacement);
        } else {
            out.append(bytes.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
        }
    }
    return out;
}

}  // namespace lidora
