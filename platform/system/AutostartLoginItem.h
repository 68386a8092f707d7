#pragma once

#include <filesystem>
#include <string>

#include "core/ports/LoginItem.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// The application as a login item of the current user of the virtual Mac:
// <home>/.config/autostart/<bundle identifier>.desktop, naming the bundle.
// `vmac boot` opens what these entries name.
class AutostartLoginItem final : public MainAppLoginItem {
public:
    AutostartLoginItem(std::filesystem::path home, std::filesystem::path bundle, std::string bundleIdentifier);
    // For the user this process runs as.
    AutostartLoginItem(const VmacPaths& paths, std::filesystem::path bundle, std::string bundleIdentifier);

    [[nodiscard]] const std::filesystem::path& entryFile() const { return entryFile_; }

    // Enabled while the entry exists and names an existing bundle.
    [[nodiscard]] HelperStatus status() const override;
    Expected<void, std::string> registerItem() override;
    Expected<void, std::string> unregisterItem() override;

private:
    std::filesystem::path bundle_;
    std::string name_;
    std::filesystem::path entryFile_;
};

}  // namespace lidora::vmac
