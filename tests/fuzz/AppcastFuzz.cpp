// An update feed as anyone may have written it: parsing gives a feed or an
// error naming the line; a feed written back after reading (as publishing an
// update does) reads the same; the newest item is newest by the build order,
// and that order is consistent.

#include "platform/sparkle/Appcast.h"
#include "platform/sparkle/BundleVersion.h"
#include "tests/fuzz/FuzzInput.h"

using namespace lidora;
using namespace lidora::vmac;

namespace {

bool sameItems(const std::vector<AppcastItem>& a, const std::vector<AppcastItem>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].versionString != b[i].versionString || a[i].displayVersionString != b[i].displayVersionString) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto appcast = parseAppcast(text);
    if (!appcast) {
        LIDORA_FUZZ_CHECK(appcast.error().starts_with("line ") || appcast.error().starts_with("the feed"));
        return 0;
    }
    const auto reread = parseAppcast(renderAppcast(*appcast));
    LIDORA_FUZZ_CHECK(reread.has_value());
    LIDORA_FUZZ_CHECK(reread->title == appcast->title && sameItems(reread->items, appcast->items));

    const auto newest = newestItem(*appcast);
    LIDORA_FUZZ_CHECK(newest.has_value() == !appcast->items.empty());
    for (const auto& item : appcast->items) {
        LIDORA_FUZZ_CHECK(compareBundleVersions(item.versionString, newest->versionString) <= 0);
        for (const auto& other : appcast->items) {
            const auto forwards = compareBundleVersions(item.versionString, other.versionString);
            const auto backwards = compareBundleVersions(other.versionString, item.versionString);
            LIDORA_FUZZ_CHECK((forwards < 0) == (backwards > 0) && (forwards == 0) == (backwards == 0));
        }
    }
    // Publishing numbers the next build after the newest; with a numeric last
    // component it must sort after it.
    const std::string_view last =
        newest ? std::string_view(newest->versionString).substr(newest->versionString.rfind('.') + 1)
               : std::string_view();
    if (!last.empty() && last.find_first_not_of("0123456789") == std::string_view::npos) {
        LIDORA_FUZZ_CHECK(compareBundleVersions(nextBundleVersion(newest->versionString), newest->versionString) > 0);
    }
    return 0;
}
