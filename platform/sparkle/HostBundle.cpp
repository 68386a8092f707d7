#include "platform/sparkle/HostBundle.h"

#include "platform/bundle/PlistDocument.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

std::optional<std::string> stringValue(const PreferenceDictionary& info, std::string_view key) {
    const auto found = info.find(key);
    if (found == info.end() || found->second.asString() == nullptr) {
        return std::nullopt;
    }
    return *found->second.asString();
}

}  // namespace

Expected<HostBundle, std::string> HostBundle::load(const std::filesystem::path& bundle) {
    const auto infoFile = bundle / "Contents" / "Info.plist";
    const auto contents = readFileIfPresent(infoFile);
    if (!contents) {
        return unexpected(contents.error());
    }
    if (!*contents) {
        return unexpected(infoFile.string() + " does not exist");
    }
    const auto document = parseXmlPlistDocument((*contents)->bytes);
    if (!document) {
        return unexpected(infoFile.string() + ": " + document.error());
    }
    const auto* info = document->asDictionary();
    if (info == nullptr) {
        return unexpected(infoFile.string() + " holds no dictionary");
    }
    HostBundle host;
    host.path = bundle;
    host.identifier = stringValue(*info, "CFBundleIdentifier").value_or("");
    host.version = stringValue(*info, "CFBundleVersion").value_or("");
    host.shortVersion = stringValue(*info, "CFBundleShortVersionString").value_or(host.version);
    if (host.version.empty()) {
        return unexpected(infoFile.string() + " has no CFBundleVersion");
    }
    host.feedURL = stringValue(*info, "SUFeedURL");
    if (const auto found = info->find("SUEnableAutomaticChecks"); found != info->end()) {
        host.enableAutomaticChecks = found->second.asBool();
    }
    if (const auto found = info->find("SUScheduledCheckInterval"); found != info->end()) {
        if (const auto seconds = found->second.asInteger(); seconds && *seconds > 0) {
            host.scheduledCheckInterval = std::chrono::seconds(*seconds);
        }
    }
    return host;
}

}  // namespace lidora::vmac
