#pragma once

#include <filesystem>
#include <string>

#include "core/prefs/PreferenceValue.h"
#include "core/runtime/Expected.h"

namespace lidora::vmac {

// The information property list built into a command-line executable, as
// macOS keeps it in the binary: here the ELF section __info_plist, holding an
// XML property-list document whose top element is a dictionary.
Expected<PreferenceDictionary, std::string> readEmbeddedInfoPlist(const std::filesystem::path& executable);

}  // namespace lidora::vmac
