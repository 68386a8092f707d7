#pragma once

#include <compare>
#include <string>
#include <string_view>

namespace lidora::vmac {

// Orders CFBundleVersion strings as Sparkle does for plain builds: dot-separated
// components, numeric ones compared as numbers, missing ones counting as 0
// ("1.2" == "1.2.0" < "1.10"). A non-numeric component sorts after numbers and
// compares as text.
std::strong_ordering compareBundleVersions(std::string_view a, std::string_view b);

// The version with its last numeric component raised by one ("14" → "15",
// "1.0.9" → "1.0.10"); "1" for a version without a numeric last component.
std::string nextBundleVersion(std::string_view version);

}  // namespace lidora::vmac
