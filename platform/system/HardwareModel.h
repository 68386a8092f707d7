#pragma once

#include <string>
#include <string_view>

#include "core/runtime/Expected.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// The model a fresh virtual Mac reports: one with the lit logo.
inline constexpr std::string_view kDefaultHardwareModel = "Mac17,12";
inline constexpr std::size_t kMaxHardwareModelBytes = 64;

// Printable ASCII, 1 to kMaxHardwareModelBytes bytes.
Expected<void, std::string> validateHardwareModel(std::string_view model);

// var/db/vmac/hardware.json, {"model": "…"}. Missing means the default; a
// damaged file or an invalid model is an error, never a guess.
Expected<std::string, std::string> readHardwareModel(const VmacPaths& paths);
Expected<void, std::string> writeHardwareModel(const VmacPaths& paths, std::string_view model);

}  // namespace lidora::vmac
