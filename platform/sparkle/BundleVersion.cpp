#include "platform/sparkle/BundleVersion.h"

#include <algorithm>
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

// A numeric component's digits without leading zeros ("" and "00" are "0"),
// or absent for text. Builds may have more digits than any integer holds.
std::optional<std::string_view> number(std::string_view text) {
    if (text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    const auto first = text.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view("0") : text.substr(first);
}

std::strong_ordering compareComponents(std::string_view a, std::string_view b) {
    const auto x = number(a);
    const auto y = number(b);
    if (x && y) {
        if (x->size() != y->size()) {
            return x->size() <=> y->size();
        }
        return x->compare(*y) <=> 0;
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
    // Decimal addition on the digits, so the largest build still has a next.
    std::string next(*last);
    auto digit = next.rbegin();
    for (; digit != next.rend() && *digit == '9'; ++digit) {
        *digit = '0';
    }
    if (digit == next.rend()) {
        next.insert(next.begin(), '1');
    } else {
        ++*digit;
    }
    return std::string(prefix) + next;
}

}  // namespace lidora::vmac
