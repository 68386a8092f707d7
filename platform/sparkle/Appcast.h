#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/SparkleUpdater.h"
#include "core/runtime/Expected.h"

namespace lidora::vmac {

inline constexpr std::string_view kSparkleNamespace = "http://www.andymatuschak.org/xml-namespaces/sparkle";

// An RSS appcast as Sparkle reads it: a channel of items, each carrying its
// build in sparkle:version and its display version in
// sparkle:shortVersionString, as elements or as attributes of <enclosure>.
struct Appcast {
    std::string title;
    std::vector<AppcastItem> items;
};

// Errors name the line and what is wrong; nothing here throws.
Expected<Appcast, std::string> parseAppcast(std::string_view text);

std::string renderAppcast(const Appcast& appcast);

// The item with the highest build, if any.
std::optional<AppcastItem> newestItem(const Appcast& appcast);

}  // namespace lidora::vmac
