#include "platform/controlcenter/ControlLine.h"

#include <cstdio>

namespace lidora::vmac {

std::string controlLine(const std::string& title, const Expected<ControlTemplate, std::string>& shown) {
    if (!shown) {
        return title + "  unavailable: " + shown.error();
    }
    // Columns wide enough for every title, text and symbol Lidora has.
    char line[512];
    std::snprintf(line, sizeof line, "%-18s %-5s %-15s", shown->title.c_str(), shown->valueText.c_str(),
                  shown->systemImage.c_str());
    std::string text(line);
    if (shown->style == ControlTemplate::Style::toggle) {
        text += shown->isOn ? " on" : " off";
    }
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

}  // namespace lidora::vmac
