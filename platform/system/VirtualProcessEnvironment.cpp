#include "platform/system/VirtualProcessEnvironment.h"

#include "platform/bundle/PlistDocument.h"
#include "platform/vmac/AtomicFile.h"
#include "platform/vmac/VmacLayout.h"

namespace lidora::vmac {

namespace {

std::filesystem::path ownExecutable() {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : self;
}

}  // namespace

std::filesystem::path bundlePathForExecutable(const std::filesystem::path& executable) {
    auto folder = executable.parent_path();
    const auto contents = folder.parent_path();
    if (folder.filename() == "MacOS" && contents.filename() == "Contents" && contents.has_parent_path() &&
        contents.parent_path() != contents.root_path() && !contents.parent_path().empty()) {
        return contents.parent_path();
    }
    return folder;
}

PreferenceDictionary readBundleInfo(const std::filesystem::path& bundle) {
    const auto contents = readFileIfPresent(bundle / "Contents" / "Info.plist");
    if (!contents || !*contents) {
        return {};
    }
    const auto info = parseXmlPlistDocument((*contents)->bytes);
    if (!info || !info->isDictionary()) {
        return {};
    }
    return *info->asDictionary();
}

VirtualProcessEnvironment::VirtualProcessEnvironment(VmacPaths paths, std::filesystem::path executable)
    : paths_(std::move(paths)),
      bundle_(bundlePathForExecutable(executable.empty() ? ownExecutable() : std::move(executable))) {}

std::string VirtualProcessEnvironment::bundlePath() const {
    return paths_.macPath(bundle_).string();
}

PreferenceDictionary VirtualProcessEnvironment::bundleInfo() const {
    return readBundleInfo(bundle_);
}

std::string VirtualProcessEnvironment::operatingSystemVersionString() const {
    const auto version = readSystemVersion(paths_);
    return "Version " + version.productVersion + " (Build " + version.buildVersion + ")";
}

}  // namespace lidora::vmac
