#include "core/text/Characters.h"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <memory>

#include "core/text/UnicodeText.h"

namespace lidora {

namespace {

constexpr UChar32 kReplacementCharacter = 0xFFFD;

std::u16string toUtf16(std::string_view text) {
    if (text.empty() || text.size() > kMaxCharactersInput) {
        return {};
    }
    const auto length = static_cast<int32_t>(text.size());
    // UTF-16 never needs more units than UTF-8 has bytes.
    std::u16string out(text.size(), u'\0');
    int32_t written = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), length, &written, text.data(), length, kReplacementCharacter, nullptr, &status);
    if (U_FAILURE(status)) {
        return {};
    }
    out.resize(static_cast<std::size_t>(written));
    return out;
}

std::string toUtf8(const char16_t* text, int32_t length) {
    if (length <= 0) {
        return {};
    }
    // At most three bytes per UTF-16 unit.
    std::string out(static_cast<std::size_t>(length) * 3, '\0');
    int32_t written = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &written, text, length, kReplacementCharacter,
                       nullptr, &status);
    if (U_FAILURE(status)) {
        return {};
    }
    out.resize(static_cast<std::size_t>(written));
    return out;
}

std::u16string uppercasedUtf16(std::string_view text) {
    const std::u16string source = toUtf16(text);
    if (source.empty()) {
        return {};
    }
    const auto length = static_cast<int32_t>(source.size());
    // Usually the same length; measured again when a mapping grows it.
    std::u16string out(source.size(), u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        // The root locale: "i" must not become a dotted capital on a Turkish system.
        const int32_t needed =
            u_strToUpper(out.data(), static_cast<int32_t>(out.size()), source.data(), length, "", &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(static_cast<std::size_t>(needed));
            continue;
        }
        if (U_FAILURE(status)) {
            return {};
        }
        out.resize(static_cast<std::size_t>(needed));
        return out;
    }
    return {};
}

struct BreakIteratorClose {
    void operator()(UBreakIterator* iterator) const { ubrk_close(iterator); }
};

struct TextClose {
    void operator()(UText* text) const { utext_close(text); }
};

}  // namespace

std::string uppercased(std::string_view text) {
    const std::u16string upper = uppercasedUtf16(text);
    return toUtf8(upper.data(), static_cast<int32_t>(upper.size()));
}

std::vector<std::string> characters(std::string_view text) {
    const std::u16string source = toUtf16(text);
    if (source.empty()) {
        return {};
    }
    const auto length = static_cast<int32_t>(source.size());
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UBreakIterator, BreakIteratorClose> iterator(
        ubrk_open(UBRK_CHARACTER, "", source.data(), length, &status));
    if (U_FAILURE(status) || !iterator) {
        return {};
    }
    std::vector<std::string> out;
    int32_t start = ubrk_first(iterator.get());
    for (int32_t end = ubrk_next(iterator.get()); end != UBRK_DONE; end = ubrk_next(iterator.get())) {
        out.push_back(toUtf8(source.data() + start, end - start));
        start = end;
    }
    return out;
}

std::string firstCharacters(std::string_view text, std::size_t count) {
    if (text.size() > kMaxCharactersInput) {
        return {};
    }
    std::string valid = decodingUtf8Lossily(text);
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UText, TextClose> source(
        utext_openUTF8(nullptr, valid.data(), static_cast<int64_t>(valid.size()), &status));
    const std::unique_ptr<UBreakIterator, BreakIteratorClose> iterator(
        ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status));
    if (U_SUCCESS(status) && iterator) {
        ubrk_setUText(iterator.get(), source.get(), &status);
    }
    if (U_FAILURE(status) || !iterator) {
        return {};
    }
    // With UTF-8 text the iterator's positions are byte offsets.
    int32_t end = ubrk_first(iterator.get());
    for (std::size_t taken = 0; taken < count; ++taken) {
        const int32_t next = ubrk_next(iterator.get());
        if (next == UBRK_DONE) {
            return valid;
        }
        end = next;
    }
    valid.resize(static_cast<std::size_t>(end));
    return valid;
}

bool isWhitespace(std::string_view character) {
    if (character.empty()) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(character.data());
    const auto length = static_cast<int32_t>(std::min(character.size(), std::size_t{4}));
    int32_t index = 0;
    UChar32 c = 0;
    U8_NEXT(bytes, index, length, c);
    return c >= 0 && u_hasBinaryProperty(c, UCHAR_WHITE_SPACE) != 0;
}

std::string canonicalForm(std::string_view character) {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    const std::u16string source = toUtf16(character);
    if (U_FAILURE(status) || source.empty()) {
        return std::string(character);
    }
    const auto length = static_cast<int32_t>(source.size());
    if (unorm2_isNormalized(nfc, source.data(), length, &status) != 0 && U_SUCCESS(status)) {
        return std::string(character);
    }
    status = U_ZERO_ERROR;
    const int32_t needed = unorm2_normalize(nfc, source.data(), length, nullptr, 0, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        return std::string(character);
    }
    std::u16string out(static_cast<std::size_t>(needed), u'\0');
    status = U_ZERO_ERROR;
    const int32_t written = unorm2_normalize(nfc, source.data(), length, out.data(), needed, &status);
    if (U_FAILURE(status)) {
        return std::string(character);
    }
    return toUtf8(out.data(), written);
}

}  // namespace lidora
