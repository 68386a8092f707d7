#pragma once

#include <filesystem>

#include "core/ports/SystemInfo.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// An executable at <bundle>/Contents/MacOS/<name> belongs to <bundle>; any
// other executable is its own bundle, its folder, as for a bare tool.
std::filesystem::path bundlePathForExecutable(const std::filesystem::path& executable);

// Info.plist of a bundle; an empty dictionary when missing or unreadable.
PreferenceDictionary readBundleInfo(const std::filesystem::path& bundle);

// What the running process knows of itself, on the virtual Mac.
class VirtualProcessEnvironment final : public ProcessEnvironment {
public:
    // `executable` defaults to this process's own.
    explicit VirtualProcessEnvironment(VmacPaths paths, std::filesystem::path executable = {});

    // As the virtual Mac sees it, e.g. /Applications/Lidora.app, so that
    // the product judges where it runs from as it would on a Mac.
    [[nodiscard]] std::string bundlePath() const override;
    // The same bundle on the host, for stand-ins that open its files.
    [[nodiscard]] const std::filesystem::path& hostBundlePath() const { return bundle_; }
    [[nodiscard]] PreferenceDictionary bundleInfo() const override;
    [[nodiscard]] std::string operatingSystemVersionString() const override;

private:
    VmacPaths paths_;
    std::filesystem::path bundle_;
};

}  // namespace lidora::vmac
