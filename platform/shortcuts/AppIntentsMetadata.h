#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/runtime/Expected.h"
#include "core/shortcuts/ShortcutsAction.h"
#include "platform/shortcuts/ShortcutsCatalog.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// Where the build puts the metadata, as Xcode extracts it on macOS.
std::filesystem::path appIntentsMetadataPath(const std::filesystem::path& bundle);

// The catalog of an app's own declarations.
ShortcutsCatalog catalogOf(std::span<const ShortcutsAction> actions, std::span<const AppEnum* const> enums,
                           std::span<const AppShortcut> shortcuts);

std::string metadataJson(const ShortcutsCatalog& catalog);
// Refuses anything that is not a complete, consistent catalog.
Expected<ShortcutsCatalog, std::string> parseMetadata(std::string_view json);

// Apps in /Applications with metadata, by name; a damaged file is reported
// through `warn` and its app left out.
std::vector<ShortcutsApp> installedShortcutsApps(const VmacPaths& paths,
                                                 const std::function<void(const std::string&)>& warn);

}  // namespace lidora::vmac
