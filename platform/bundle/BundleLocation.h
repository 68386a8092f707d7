#pragma once

#include <filesystem>
#include <optional>

namespace lidora::vmac {

// The bundle an executable lives in: …/X.app/Contents/MacOS/<exe> gives
// …/X.app. Empty when the executable is not inside a bundle.
std::optional<std::filesystem::path> bundleOfExecutable(const std::filesystem::path& executable);

// The bundle of the running process, from /proc/self/exe.
std::optional<std::filesystem::path> bundleOfRunningProcess();

// Whether `bundle` looks like an application bundle: a folder with Contents/Info.plist.
bool isBundle(const std::filesystem::path& bundle);

}  // namespace lidora::vmac
