#pragma once

#include <string>
#include <string_view>

namespace lidora {

// Drops Unicode white space and line ends from both ends.
std::string trimmingWhitespaceAndNewlines(std::string_view text);

// Valid UTF-8 with each invalid sequence replaced by U+FFFD.
std::string decodingUtf8Lossily(std::string_view bytes);

}  // namespace lidora
