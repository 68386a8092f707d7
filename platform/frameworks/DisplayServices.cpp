// The virtual Mac's DisplayServices framework: the brightness of built-in
// displays, kept in the displays record.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/displays/DisplayRecords.h"

namespace {

using lidora::vmac::DisplayRecords;

// Results: 0 success; the others are this stand-in's own.
constexpr int kSuccess = 0;
constexpr int kBadArgument = 1;
constexpr int kNoSuchBuiltInDisplay = 2;
constexpr int kRecordUnavailable = 3;

}  // namespace

extern "C" __attribute__((visibility("default"))) int DisplayServicesGetBrightness(std::uint32_t display,
                                                                                   float* brightness) noexcept {
    try {
        if (brightness == nullptr) {
            return kBadArgument;
        }
        const auto records = lidora::vmac::displaysRecord(lidora::vmac::VmacPaths::fromEnvironment()).read();
        if (!records) {
            return kRecordUnavailable;
        }
        const auto* found = lidora::vmac::findDisplay(*records, display);
        if (found == nullptr || !found->builtIn) {
            return kNoSuchBuiltInDisplay;
        }
        *brightness = static_cast<float>(found->brightness);
        return kSuccess;
    } catch (...) {
        return kRecordUnavailable;
    }
}

extern "C" __attribute__((visibility("default"))) int DisplayServicesSetBrightness(std::uint32_t display,
                                                                                   float brightness) noexcept {
    try {
        if (std::isnan(brightness)) {
            return kBadArgument;
        }
        const double value = std::clamp(static_cast<double>(brightness), 0.0, 1.0);
        const auto paths = lidora::vmac::VmacPaths::fromEnvironment();
        if (!lidora::vmac::ensureDisplaysFolder(paths)) {
            return kRecordUnavailable;
        }
        int result = kSuccess;
        auto record = lidora::vmac::displaysRecord(paths);
        const auto updated = record.update([&](DisplayRecords& records) {
            auto* found = lidora::vmac::findDisplay(records, display);
            if (found == nullptr || !found->builtIn) {
                result = kNoSuchBuiltInDisplay;
                return false;
            }
            if (found->brightness == value) {
                return false;
            }
            found->brightness = value;
            return true;
        });
        return updated ? result : kRecordUnavailable;
    } catch (...) {
        return kRecordUnavailable;
    }
}
