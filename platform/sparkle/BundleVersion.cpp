#include "platform/sparkle/BundleVersion.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

namespace lidora::vmac {

namespace {

std::vector<std::string_view> components(std::string_view version) {
    std::vector<std::string_view> parts;
    while (true) {
        const auto dot = version.find('.');
        parts.push_back(version.substr(0, dot));
        if (dot == std::string_view::npos) {
            return parts;
        }
        version.remove_prefix(dot + 1);
    }
}

std::optional<unsigned long long> number(std::string_view text) {
    if (text.empty()) {
        return 0ULL;
    }
    unsigned long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::strong_ordering compareComponents(std::string_view a, std::string_view b) {
    const auto x = number(a);
    const auto y = number(b);
    if (x && y) {
        return *x <=> *y;
    }
    if (x || y) {
        return x ? std::strong_ordering::less : std::strong_ordering::greater;
    }
    return a.compare(b) <=> 0;
}

}  // namespace

std::strong_ordering compareBundleVersions(std::string_view a, std::string_view b) {
    const auto left = components(a);
    const auto right = components(b);
    const auto count = std::max(left.size(), right.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view x = i < left.size() ? left[i] : std::string_view();
        const std::string_view y = i < right.size() ? right[i] : std::string_view();
        if (const auto order = compareComponents(x, y); order != 0) {
            return order;
        }
    }
    return std::strong_ordering::equal;
}

std::string nextBundleVersion(std::string_view version) {
    const auto dot = version.rfind('.');
    const auto prefix = dot == std::string_view::npos ? std::string_view() : version.substr(0, dot + 1);
    const auto last = number(version.substr(prefix.size()));
    if (!last || version.empty()) {
        return "1";
    }
    return std::string(prefix) + std::to_string(*last + 1);
}

}  // namespace lidora::vmac
