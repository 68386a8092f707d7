#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/VirtualMac.h"

namespace lidora::testing {

inline constexpr const char* kTeam = "K7QX4N2M9T";
inline constexpr const char* kHelperLabel = "com.zelquin.lidora.helper";
inline constexpr const char* kApproving = "Operation not permitted\n";

// A booted virtual Mac with Lidora installed in /Applications, its app
// played by register-probe at Contents/MacOS/Lidora, signed as ours, as is
// its helper daemon.
class LightFixture : public ::testing::Test {
protected:
    void SetUp() override;

    [[nodiscard]] ProcessResult app(std::vector<std::string> arguments) const;
    [[nodiscard]] ProcessResult appAsNobody(std::vector<std::string> arguments) const;
    // A signed helper client outside the bundle, like the Control Center extension.
    [[nodiscard]] ProcessResult helper(std::vector<std::string> arguments) const;

    [[nodiscard]] std::string status() const { return app({"status"}).out; }
    // Registers, approves as the administrator would, and checks it took.
    void registerAndApprove();

    [[nodiscard]] std::filesystem::path plist() const;
    // The daemon's program, signed as ours like the app.
    [[nodiscard]] std::filesystem::path helperProgram() const;
    [[nodiscard]] std::filesystem::path machSocket() const;
    [[nodiscard]] std::string unreachable() const;

    VirtualMac mac{TEST_BIN_DIR};
    std::filesystem::path bundle;
    std::filesystem::path appExecutable;
    std::filesystem::path helperClient;
};

}  // namespace lidora::testing
