#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lidora::vmac {

// How BrightnessSystemClient talks to corebrightnessd over the Mach
// service's socket: one request line, one reply line, on a connection the
// client keeps open.
//   copy KEY            -> the value as JSON, or null
//   set KEY JSON        -> true or false
// Values are single-line JSON; keys are plain names.
inline constexpr std::string_view kCoreBrightnessService = "com.apple.corebrightnessd";
inline constexpr std::string_view kCopyVerb = "copy";
inline constexpr std::string_view kSetVerb = "set";
inline constexpr std::string_view kNullReply = "null";
inline constexpr std::string_view kTrueReply = "true";
inline constexpr std::string_view kFalseReply = "false";
// Far beyond any table the daemon accepts, small enough that a client
// cannot make it hold much.
inline constexpr std::size_t kMaxPropertyLine = 64 * 1024;
inline constexpr std::size_t kMaxPropertyKey = 128;

inline bool validPropertyKey(std::string_view key) {
    return !key.empty() && key.size() <= kMaxPropertyKey && std::all_of(key.begin(), key.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
               c == '-';
    });
}

struct PropertyRequest {
    enum class Kind { copy, set } kind = Kind::copy;
    std::string_view key;
    std::string_view valueJson;  // for set
};

// A line without its line end; empty for anything malformed.
inline std::optional<PropertyRequest> parsePropertyRequest(std::string_view line) {
    const auto firstSpace = line.find(' ');
    if (firstSpace == std::string_view::npos || line.find('\n') != std::string_view::npos) {
        return std::nullopt;
    }
    const auto verb = line.substr(0, firstSpace);
    const auto rest = line.substr(firstSpace + 1);
    if (verb == kCopyVerb) {
        if (!validPropertyKey(rest)) {
            return std::nullopt;
        }
        return PropertyRequest{PropertyRequest::Kind::copy, rest, {}};
    }
    if (verb == kSetVerb) {
        const auto keyEnd = rest.find(' ');
        if (keyEnd == std::string_view::npos || !validPropertyKey(rest.substr(0, keyEnd))) {
            return std::nullopt;
        }
        return PropertyRequest{PropertyRequest::Kind::set, rest.substr(0, keyEnd), rest.substr(keyEnd + 1)};
    }
    return std::nullopt;
}

inline std::string copyRequestLine(std::string_view key) {
    std::string line(kCopyVerb);
    line += ' ';
    line += key;
    line += '\n';
    return line;
}

inline std::string setRequestLine(std::string_view key, std::string_view valueJson) {
    std::string line(kSetVerb);
    line += ' ';
    line += key;
    line += ' ';
    line += valueJson;
    line += '\n';
    return line;
}

}  // namespace lidora::vmac
