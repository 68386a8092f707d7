#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lidora {

// ICU counts in 32-bit lengths and upper-casing can triple a text; longer
// texts are refused (empty results) rather than cut short.
inline constexpr std::size_t kMaxCharactersInput = std::size_t{1} << 26U;

// Full Unicode upper-casing, the same in every locale (ß becomes SS).
// Invalid UTF-8 becomes U+FFFD.
std::string uppercased(std::string_view text);

// The user-perceived characters (extended grapheme clusters) of a text, in
// order. Invalid UTF-8 becomes U+FFFD.
std::vector<std::string> characters(std::string_view text);

// The first `count` user-perceived characters of a text, found without
// splitting the rest, so a text of megabytes costs little. Invalid UTF-8
// becomes U+FFFD; a text past kMaxCharactersInput gives an empty one.
std::string firstCharacters(std::string_view text, std::size_t count);

// A character is white space when its first code point has the White_Space
// property, so CR LF and a space carrying a combining mark count.
bool isWhitespace(std::string_view character);

// Canonically equivalent characters (precomposed É and E with a combining
// acute) have the same form.
std::string canonicalForm(std::string_view character);

}  // namespace lidora
