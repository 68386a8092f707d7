#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lidora {

// Why the app can't run from where it is: a translocated copy or a disk
// image can't register the helper that ships inside it.
std::optional<std::string> installProblemFor(std::string_view bundlePath);

}  // namespace lidora
