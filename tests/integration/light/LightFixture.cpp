#include "tests/integration/light/LightFixture.h"

#include "platform/xpc/MachService.h"

namespace lidora::testing {

void LightFixture::SetUp() {
    mac.boot();
    bundle = mac.installBundle(LIDORA_BUNDLE);
    appExecutable = bundle / "Contents" / "MacOS" / "Lidora";
    std::filesystem::copy_file(REGISTER_PROBE, appExecutable, std::filesystem::copy_options::overwrite_existing);
    const auto signedApp =
        mac.vmac({"codesign", "--identifier", "com.zelquin.lidora", "--team", kTeam, appExecutable.string()});
    ASSERT_EQ(signedApp.status, 0) << signedApp.err;
    const auto signedHelper =
        mac.vmac({"codesign", "--identifier", kHelperLabel, "--team", kTeam, helperProgram().string()});
    ASSERT_EQ(signedHelper.status, 0) << signedHelper.err;
    helperClient = mac.signedCopy(HELPER_PROBE, "helper-probe", "com.zelquin.lidora.control", kTeam);
}

ProcessResult LightFixture::app(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), appExecutable.string());
    return mac.run(std::move(arguments));
}

ProcessResult LightFixture::appAsNobody(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), appExecutable.string());
    return mac.runAsNobody(std::move(arguments));
}

ProcessResult LightFixture::helper(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), helperClient.string());
    return mac.run(std::move(arguments));
}

void LightFixture::registerAndApprove() {
    ASSERT_EQ(app({"register"}).out, kApproving);
    const auto approved = mac.vmac({"approve", kHelperLabel});
    ASSERT_EQ(approved.status, 0) << approved.err;
    ASSERT_EQ(status(), "1 enabled\n");
}

std::filesystem::path LightFixture::plist() const {
    return bundle / "Contents" / "Library" / "LaunchDaemons" / "com.zelquin.lidora.helper.plist";
}

std::filesystem::path LightFixture::helperProgram() const {
    return bundle / "Contents" / "MacOS" / kHelperLabel;
}

std::filesystem::path LightFixture::machSocket() const {
    return mac.root() / "var" / "run" / "mach" / kHelperLabel;
}

std::string LightFixture::unreachable() const {
    return "Couldn't reach the Lidora helper: " + vmac::lookupFailedDescription(kHelperLabel) + "\n";
}

}  // namespace lidora::testing
