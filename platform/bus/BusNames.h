#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lidora::vmac {

// Where a signal comes from on the bus: object path, interface, member.
struct BusSignalName {
    const char* path;
    const char* interface;
    const char* member;
};

// The match rule for `signal`, narrowed to a first (string) argument equal
// to `arg0` when given. sd-bus and dbus-daemon quote differently, so a value
// with a quote or backslash is left out: the receiver compares it itself.
std::string busMatchRule(const BusSignalName& signal, const std::optional<std::string>& arg0);

// A well-known name from a bundle identifier: bus names allow only
// [A-Za-z0-9_-] elements that do not start with a digit.
std::string busNameForBundleIdentifier(std::string_view bundleIdentifier);

}  // namespace lidora::vmac
