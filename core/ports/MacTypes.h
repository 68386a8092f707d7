#pragma once

#include <cstdint>

namespace lidora {

// The system frameworks' result code: 0 is success.
using OSStatus = std::int32_t;

// A four-character code ('dev#') as the system frameworks pack it.
using FourCharCode = std::uint32_t;

constexpr FourCharCode fourCharCode(const char (&code)[5]) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24U) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16U) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8U) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(code[3]));
}

}  // namespace lidora
