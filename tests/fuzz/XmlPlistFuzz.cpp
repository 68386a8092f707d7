// XML property lists: a fragment as `defaults write` takes it, and a whole
// document as an Info.plist (the daemon reads its own). Either gives a value
// or an error that says where, and a value parsed once survives the domain
// file's encoding.

#include "platform/bundle/PlistDocument.h"
#include "platform/prefs/PlistText.h"
#include "platform/prefs/PreferenceJson.h"
#include "platform/prefs/XmlPlist.h"
#include "tests/fuzz/FuzzInput.h"

using namespace lidora;
using namespace lidora::vmac;

namespace {

void checkParsed(const Expected<PreferenceValue, std::string>& parsed) {
    if (!parsed) {
        LIDORA_FUZZ_CHECK(parsed.error().starts_with("line "));
        return;
    }
    (void)formatPlistText(*parsed);
    // Text that is not UTF-8 is refused when written; anything else must
    // come back as it went.
    if (const auto written = encodePreferenceValueJson(*parsed)) {
        const auto reread = decodePreferenceValueJson(*written);
        LIDORA_FUZZ_CHECK(reread.has_value() && *reread == *parsed);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkParsed(parseXmlPlistFragment(text));
    checkParsed(parseXmlPlistDocument(text));
    return 0;
}
