#include "platform/bus/BusNames.h"

#include <cctype>

namespace lidora::vmac {

namespace {

std::string matchValue(std::string_view value) {
    return "'" + std::string(value) + "'";
}

bool quotable(std::string_view value) {
    return value.find_first_of("'\\") == std::string_view::npos;
}

}  // namespace

std::string busMatchRule(const BusSignalName& signal, const std::optional<std::string>& arg0) {
    std::string rule = "type='signal',path=" + matchValue(signal.path) + ",interface=" + matchValue(signal.interface) +
                       ",member=" + matchValue(signal.member);
    if (arg0 && quotable(*arg0)) {
        rule += ",arg0=" + matchValue(*arg0);
    }
    return rule;
}

std::string busNameForBundleIdentifier(std::string_view bundleIdentifier) {
    std::string name = "vmac.app";
    std::string element;
    auto flush = [&] {
        if (element.empty() || std::isdigit(static_cast<unsigned char>(element.front())) != 0) {
            element.insert(element.begin(), '_');
        }
        name += '.';
        name += element;
        element.clear();
    };
    for (const char c : bundleIdentifier) {
        if (c == '.') {
            flush();
        } else if (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-') {
            element += c;
        } else {
            element += '_';
        }
    }
    flush();
    return name;
}

}  // namespace lidora::vmac
