// A domain file as found on disk: whatever it holds, reading it gives values
// or an error, and values read back unchanged after writing them again.

#include "platform/prefs/PlistText.h"
#include "platform/prefs/PreferenceJson.h"
#include "tests/fuzz/FuzzInput.h"

using namespace lidora;
using namespace lidora::vmac;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (auto domain = decodeDomainJson(text)) {
        const auto written = encodeDomainJson(*domain);
        LIDORA_FUZZ_CHECK(written.has_value());
        const auto reread = decodeDomainJson(*written);
        LIDORA_FUZZ_CHECK(reread.has_value() && *reread == *domain);
        (void)formatPlistText(PreferenceValue(std::move(domain).value()));
    } else {
        LIDORA_FUZZ_CHECK(!domain.error().empty());
    }

    if (auto value = decodePreferenceValueJson(text)) {
        const auto written = encodePreferenceValueJson(*value);
        LIDORA_FUZZ_CHECK(written.has_value());
        const auto reread = decodePreferenceValueJson(*written);
        LIDORA_FUZZ_CHECK(reread.has_value() && *reread == *value);
    }
    return 0;
}
