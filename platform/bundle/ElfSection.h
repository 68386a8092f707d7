#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/runtime/Expected.h"

namespace lidora::vmac {

// The bytes of the one section called `name` in a 64-bit little-endian ELF
// file. Every offset and size in the file is checked against the file
// before use, so a truncated or hostile file yields an error, never a read
// out of bounds. Sections larger than maxSize are refused.
Expected<std::string, std::string> readElfSection(const std::filesystem::path& file, std::string_view name,
                                                  std::size_t maxSize);

}  // namespace lidora::vmac
