#include "platform/bundle/BundleLocation.h"

namespace lidora::vmac {

std::optional<std::filesystem::path> bundleOfExecutable(const std::filesystem::path& executable) {
    const auto macOS = executable.parent_path();
    const auto contents = macOS.parent_path();
    if (macOS.filename() != "MacOS" || contents.filename() != "Contents" || !contents.has_parent_path()) {
        return std::nullopt;
    }
    return contents.parent_path();
}

std::optional<std::filesystem::path> bundleOfRunningProcess() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::nullopt;
    }
    return bundleOfExecutable(executable);
}

bool isBundle(const std::filesystem::path& bundle) {
    std::error_code error;
    return std::filesystem::is_directory(bundle, error) &&
           std::filesystem::is_regular_file(bundle / "Contents" / "Info.plist", error);
}

}  // namespace lidora::vmac
