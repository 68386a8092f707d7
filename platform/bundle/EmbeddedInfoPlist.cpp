#include "platform/bundle/EmbeddedInfoPlist.h"

#include "platform/bundle/ElfSection.h"
#include "platform/bundle/PlistDocument.h"

namespace lidora::vmac {

namespace {

// Info.plists are a few kilobytes; anything near this is not one.
constexpr std::size_t kMaxInfoPlistSize = std::size_t{1} << 20;

}  // namespace

Expected<PreferenceDictionary, std::string> readEmbeddedInfoPlist(const std::filesystem::path& executable) {
    const auto bytes = readElfSection(executable, "__info_plist", kMaxInfoPlistSize);
    if (!bytes) {
        return unexpected(bytes.error());
    }
    auto value = parseXmlPlistDocument(*bytes);
    if (!value) {
        return unexpected("the Info.plist in " + executable.string() + " is malformed: " + value.error());
    }
    const auto* dictionary = value->asDictionary();
    if (dictionary == nullptr) {
        return unexpected("the Info.plist in " + executable.string() + " is not a dictionary");
    }
    return *dictionary;
}

}  // namespace lidora::vmac
