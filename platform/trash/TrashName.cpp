#include "platform/trash/TrashName.h"

#include <cstdio>
#include <string_view>

namespace lidora::vmac {

namespace {

constexpr std::size_t kNameMax = 255;

// Finder's extension: what follows the last dot, unless the dot starts the
// name or what follows is empty or has a space ("Version 1.2 beta" has none).
std::size_t extensionStart(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size() ||
        name.find(' ', dot) != std::string_view::npos) {
        return name.size();
    }
    return dot;
}

// Drops whole UTF-8 characters from the end until `text` fits in `bytes`.
std::string_view fitted(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) {
        return text;
    }
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

}  // namespace

std::string trashName(const std::string& name, const std::tm& movedAt, unsigned attempt) {
    if (attempt == 0) {
        return name;
    }
    const int hour = movedAt.tm_hour % 12 == 0 ? 12 : movedAt.tm_hour % 12;
    char time[48];
    std::snprintf(time, sizeof time, " %d.%02d.%02d %s", hour, movedAt.tm_min, movedAt.tm_sec,
                  movedAt.tm_hour < 12 ? "AM" : "PM");
    std::string suffix = time;
    if (attempt > 1) {
        suffix += " " + std::to_string(attempt);
    }
    const std::string_view whole(name);
    const auto dot = extensionStart(whole);
    auto extension = whole.substr(dot);
    // An extension too long to keep beside the time is kept as part of the stem.
    if (extension.size() + suffix.size() + 1 > kNameMax) {
        extension = {};
    }
    const auto stem = whole.substr(0, whole.size() - extension.size());
    return std::string(fitted(stem, kNameMax - suffix.size() - extension.size())) + suffix + std::string(extension);
}

}  // namespace lidora::vmac
