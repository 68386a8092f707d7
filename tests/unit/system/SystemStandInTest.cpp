#include <gtest/gtest.h>

#include <array>
#include <fstream>

#include "core/light/HardwareSupport.h"
#include "platform/system/HardwareModel.h"
#include "platform/system/LoginItemsOpenings.h"
#include "platform/system/VirtualProcessEnvironment.h"
#include "platform/system/VirtualSystemControl.h"
#include "tests/support/TempDir.h"

namespace lidora::vmac {
namespace {

class VirtualMacState : public ::testing::Test {
protected:
    testing::TempDir dir;
    VmacPaths paths{dir.path()};
    std::filesystem::path hardwareFile = dir.path() / "var" / "db" / "vmac" / "hardware.json";
};

TEST(HardwareModelIdentifier, IsPrintableAsciiOfAtMost64Bytes) {
    EXPECT_TRUE(validateHardwareModel("Mac17,12").has_value());
    EXPECT_TRUE(validateHardwareModel(std::string(64, 'M')).has_value());
    EXPECT_TRUE(validateHardwareModel("Virtual Mac 1,1").has_value()) << "spaces are printable";
    for (const auto& bad : {std::string(), std::string(65, 'M'), std::string("Mac\n17"), std::string("Mac\x7f"),
                            std::string("Mac\xc3\xa9"), std::string("Mac\0", 4)}) {
        EXPECT_FALSE(validateHardwareModel(bad).has_value()) << bad;
    }
}

TEST_F(VirtualMacState, ModelDefaultsUntilSetAndRefusesDamage) {
    EXPECT_EQ(readHardwareModel(paths).value(), "Mac17,12");
    ASSERT_TRUE(writeHardwareModel(paths, "MacBookPro18,3").has_value());
    EXPECT_EQ(readHardwareModel(paths).value(), "MacBookPro18,3");
    EXPECT_FALSE(writeHardwareModel(paths, "bad\tmodel").has_value());
    EXPECT_EQ(readHardwareModel(paths).value(), "MacBookPro18,3") << "a refused model leaves the file";

    std::ofstream(hardwareFile) << R"({"model": 17})";
    EXPECT_FALSE(readHardwareModel(paths).has_value());
    std::ofstream(hardwareFile) << R"({"model": "Mac\u0001"})";
    EXPECT_FALSE(readHardwareModel(paths).has_value()) << "hand-edited files are checked too";
}

TEST_F(VirtualMacState, SystemControlAnswersHwModelLikeSysctl) {
    const VirtualSystemControl control(paths);
    ASSERT_EQ(control.valueSize("hw.model"), std::optional<std::size_t>(9)) << "the NUL counts";
    std::array<unsigned char, 9> buffer{};
    buffer.fill(0xff);
    ASSERT_TRUE(control.readValue("hw.model", buffer));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data())), "Mac17,12");

    std::array<unsigned char, 3> shortBuffer{};
    ASSERT_TRUE(control.readValue("hw.model", shortBuffer));
    EXPECT_EQ(std::string(shortBuffer.begin(), shortBuffer.end()), "Mac");

    EXPECT_FALSE(control.valueSize("hw.machine"));
    EXPECT_FALSE(control.readValue("kern.osversion", buffer));
}

TEST_F(VirtualMacState, SystemControlFailsOnADamagedHardwareFile) {
    std::filesystem::create_directories(hardwareFile.parent_path());
    std::ofstream(hardwareFile) << "not json";
    const VirtualSystemControl control(paths);
    EXPECT_FALSE(control.valueSize("hw.model"));
    EXPECT_EQ(readModelIdentifier(control), "");
}

TEST(BundlePath, AnExecutableInContentsMacOSBelongsToItsBundle) {
    EXPECT_EQ(bundlePathForExecutable("/Applications/Lidora.app/Contents/MacOS/Lidora"), "/Applications/Lidora.app");
    EXPECT_EQ(bundlePathForExecutable("/usr/local/bin/tool"), "/usr/local/bin");
    EXPECT_EQ(bundlePathForExecutable("/Applications/Lidora.app/Contents/Helpers/x"),
              "/Applications/Lidora.app/Contents/Helpers");
    EXPECT_EQ(bundlePathForExecutable("/Applications/Lidora.app/MacOS/Lidora"), "/Applications/Lidora.app/MacOS");
}

// The product compares bundle paths as a Mac has them: a copy opened from a
// disk image is under /Volumes, not under wherever the virtual Mac lives.
TEST_F(VirtualMacState, PathsUnderTheRootAreSeenFromTheMacsRoot) {
    const auto root = dir.path();
    const std::pair<std::filesystem::path, std::filesystem::path> cases[] = {
        {root / "Volumes" / "Lidora" / "Lidora.app", "/Volumes/Lidora/Lidora.app"},
        {root / "Applications" / "Lidora.app" / "", "/Applications/Lidora.app"},
        {root / "Applications" / ".." / "Volumes" / "X.app", "/Volumes/X.app"},
        {root, "/"},
        {root.string() + "-other/Lidora.app", root.string() + "-other/Lidora.app"},
        {"/Volumes/Lidora/Lidora.app", "/Volumes/Lidora/Lidora.app"},
    };
    for (const auto& [host, seen] : cases) {
        EXPECT_EQ(paths.macPath(host), seen) << host;
    }
    const auto link = root.parent_path() / (root.filename().string() + "-link");
    std::filesystem::create_directory_symlink(root, link);
    EXPECT_EQ(VmacPaths(link).macPath(root / "Volumes" / "L.app"), "/Volumes/L.app") << "a root given through a link";
    std::filesystem::remove(link);

    const auto image = root / "Volumes" / "Lidora" / "Lidora.app" / "Contents" / "MacOS" / "Lidora";
    EXPECT_EQ(VirtualProcessEnvironment(paths, image).bundlePath(), "/Volumes/Lidora/Lidora.app");
}

TEST_F(VirtualMacState, EnvironmentReadsInfoPlistAndTheSystemVersion) {
    const auto bundle = dir.path() / "Lidora.app";
    std::filesystem::create_directories(bundle / "Contents" / "MacOS");
    const VirtualProcessEnvironment environment(paths, bundle / "Contents" / "MacOS" / "Lidora");
    EXPECT_EQ(environment.bundlePath(), "/Lidora.app") << "as the Mac sees it";
    EXPECT_EQ(environment.hostBundlePath(), bundle);
    EXPECT_TRUE(environment.bundleInfo().empty()) << "no Info.plist";
    std::ofstream(bundle / "Contents" / "Info.plist") << "<plist version=\"1.0\"><dict>";
    EXPECT_TRUE(environment.bundleInfo().empty()) << "a damaged one";
    std::ofstream(bundle / "Contents" / "Info.plist")
        << "<plist version=\"1.0\"><dict><key>CFBundleVersion</key><string>14</string></dict></plist>";
    EXPECT_EQ(*environment.bundleInfo().at("CFBundleVersion").asString(), "14");

    EXPECT_EQ(environment.operatingSystemVersionString(), "Version 26.1 (Build 25B78)");
    const auto versionFile = dir.path() / "System" / "Library" / "CoreServices" / "SystemVersion.json";
    std::filesystem::create_directories(versionFile.parent_path());
    std::ofstream(versionFile) << R"({"ProductVersion": "27.0", "ProductBuildVersion": "26A1"})";
    EXPECT_EQ(environment.operatingSystemVersionString(), "Version 27.0 (Build 26A1)");
}

TEST_F(VirtualMacState, LoginItemsOpeningsCountPerUser) {
    EXPECT_EQ(describeLoginItemsOpenings(readLoginItemsOpenings(paths, 501).value()),
              "System Settings was never opened at Login Items & Extensions");
    ASSERT_TRUE(recordLoginItemsOpening(paths, 501, "2025-01-31 09:15:02 +0100").has_value());
    const auto second = recordLoginItemsOpening(paths, 501, "2025-01-31 09:16:00 +0100");
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->count, 2);
    EXPECT_EQ(describeLoginItemsOpenings(readLoginItemsOpenings(paths, 501).value()),
              "System Settings was opened at Login Items & Extensions 2 times, last at 2025-01-31 09:16:00 +0100");
    EXPECT_FALSE(readLoginItemsOpenings(paths, 502).value()) << "another user's count is their own";

    const auto file = dir.path() / "var" / "db" / "vmac" / "settings" / "501.json";
    std::ofstream(file) << R"({"count": -3, "last": ""})";
    EXPECT_FALSE(recordLoginItemsOpening(paths, 501, "later").has_value()) << "no silent restart from zero";
    std::ifstream kept(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), R"({"count": -3, "last": ""})");
}

}  // namespace
}  // namespace lidora::vmac
