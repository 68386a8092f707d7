#include "platform/system/AutostartLoginItem.h"

#include <unistd.h>

#include "platform/bundle/BundleLocation.h"
#include "platform/system/AutostartEntry.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

std::filesystem::path withSuffix(std::filesystem::path file, std::string_view suffix) {
    file += std::string(suffix);
    return file;
}

bool validFileName(const std::string& identifier) {
    return !identifier.empty() && identifier.find('/') == std::string::npos && identifier.front() != '.';
}

}  // namespace

AutostartLoginItem::AutostartLoginItem(std::filesystem::path home, std::filesystem::path bundle,
                                       std::string bundleIdentifier)
    : bundle_(std::move(bundle)),
      name_(bundle_.stem().string()),
      entryFile_(autostartDirectory(home) / (bundleIdentifier + ".desktop")) {
    if (!validFileName(bundleIdentifier)) {
        entryFile_.clear();
    }
}

AutostartLoginItem::AutostartLoginItem(const VmacPaths& paths, std::filesystem::path bundle,
                                       std::string bundleIdentifier)
    : AutostartLoginItem(paths.homeOfCurrentUser(), std::move(bundle), std::move(bundleIdentifier)) {}

HelperStatus AutostartLoginItem::status() const {
    if (entryFile_.empty()) {
        return HelperStatus::notRegistered;
    }
    const auto contents = readFileIfPresent(entryFile_);
    if (!contents || !*contents) {
        return HelperStatus::notRegistered;
    }
    const auto entry = parseAutostartEntry((*contents)->bytes);
    return entry && entry->enabled && isBundle(entry->bundle) ? HelperStatus::enabled : HelperStatus::notRegistered;
}

Expected<void, std::string> AutostartLoginItem::registerItem() {
    if (entryFile_.empty()) {
        return unexpected(std::string("The application has no valid bundle identifier."));
    }
    if (!bundle_.is_absolute() || !isBundle(bundle_)) {
        return unexpected("The application bundle " + bundle_.string() + " does not exist.");
    }
    if (bundle_.string().find('\n') != std::string::npos) {
        return unexpected("The application's path " + bundle_.string() + " cannot be named in a login item.");
    }
    if (!makeDirectories(entryFile_.parent_path())) {
        return unexpected(systemError("Cannot create", entryFile_.parent_path()));
    }
    auto lock = FileLock::acquire(withSuffix(entryFile_, ".lock"));
    if (!lock) {
        return unexpected(lock.error());
    }
    const AutostartEntry entry{name_, bundle_, true};
    return replaceFileAtomically(entryFile_, withSuffix(entryFile_, ".tmp"), renderAutostartEntry(entry), 0644);
}

Expected<void, std::string> AutostartLoginItem::unregisterItem() {
    if (entryFile_.empty()) {
        return unexpected(std::string("The application has no valid bundle identifier."));
    }
    if (!std::filesystem::exists(entryFile_.parent_path())) {
        return unexpected(std::string("The application is not registered as a login item."));
    }
    auto lock = FileLock::acquire(withSuffix(entryFile_, ".lock"));
    if (!lock) {
        return unexpected(lock.error());
    }
    if (::unlink(entryFile_.c_str()) != 0) {
        if (errno == ENOENT) {
            return unexpected(std::string("The application is not registered as a login item."));
        }
        return unexpected(systemError("Cannot remove", entryFile_));
    }
    return {};
}

}  // namespace lidora::vmac
