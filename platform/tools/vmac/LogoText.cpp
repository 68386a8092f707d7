#include "platform/tools/vmac/LogoText.h"

#include <cstdio>

namespace lidora::vmac {

std::string formatNits(double nits) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.10g", nits);
    return text;
}

std::string formatTable(const BrightnessTable& table) {
    std::string text;
    for (const auto& point : table) {
        if (!text.empty()) {
            text += ' ';
        }
        text += '(';
        for (std::size_t i = 0; i < point.size(); ++i) {
            text += (i > 0 ? ", " : "") + formatNits(point[i]);
        }
        text += ')';
    }
    return text.empty() ? "(empty)" : text;
}

std::string logoSummary(const LogoState& logo) {
    return logo.lit ? "lit, " + formatNits(logo.nits) + " nits" : "dark";
}

}  // namespace lidora::vmac
