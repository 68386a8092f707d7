#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <memory>

#include "core/effects/DeviceUsageMonitor.h"
#include "platform/media/VirtualAudioHardware.h"
#include "platform/media/VirtualCMIOHardware.h"
#include "platform/runloop/PollRunLoop.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/support/VirtualMac.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace lidora {
namespace {

using testing::VirtualMac;

// The monitor in this process follows what vmac, another process, plays.
TEST(MediaDevices, VmacCommandsReachTheListenersOfAnotherProcess) {
    VirtualMac mac{TEST_BIN_DIR};
    vmac::PollRunLoop loop;
    vmac::VirtualCMIOHardware video(loop, vmac::VmacPaths(mac.root()));
    vmac::VirtualAudioHardware audio(loop, vmac::VmacPaths(mac.root()));
    auto sink = std::make_shared<testing::RecordingLogSink>();
    DeviceUsageMonitor monitor(video, audio, static_cast<std::int32_t>(::getpid()),
                               Logger(sink, std::string(kLogSubsystem), "onair"), [&] { loop.stop(); });
    monitor.start();
    ASSERT_FALSE(monitor.cameraInUse());
    // Only inotify's delivery takes real time here; the loop stops at each change.
    const auto heard = [&](const std::function<bool()>& done) {
        const auto deadline = loop.now() + std::chrono::seconds(10);
        while (!done() && loop.now() < deadline) {
            loop.runUntil(deadline);
        }
        return done();
    };

    // The first camera command lays out the devices' folder under the watching monitor.
    ASSERT_EQ(mac.vmac({"camera", "add", "X"}).status, 0);
    ASSERT_EQ(mac.vmac({"camera", "start", "X"}).status, 0);
    EXPECT_TRUE(heard([&] { return monitor.cameraInUse(); }));

    const auto ownPid = std::to_string(::getpid());
    ASSERT_EQ(mac.vmac({"mic", "start", "com.zelquin.lidora", ownPid}).status, 0);
    const auto byNobody = mac.runAsNobody({(mac.bin() / "vmac").string(), "mic", "start", "com.example.app", "1234"});
    ASSERT_EQ(byNobody.status, 0) << byNobody.err;
    EXPECT_TRUE(heard([&] { return monitor.microphoneInUse(); }));
    EXPECT_THAT(monitor.microphoneApps(), ElementsAre("com.example.app"));
    EXPECT_EQ(sink->messages().back(), "Camera in use: true; microphone in use: true com.example.app");

    // Devices and processes that go away.
    ASSERT_EQ(mac.vmac({"camera", "remove", "X"}).status, 0);
    EXPECT_TRUE(heard([&] { return !monitor.cameraInUse(); }));
    ASSERT_EQ(mac.vmac({"mic", "remove", "com.example.app"}).status, 0);
    EXPECT_TRUE(heard([&] { return !monitor.microphoneInUse(); }));
    EXPECT_THAT(monitor.microphoneApps(), IsEmpty());
}

TEST(MediaDevices, BadInputIsRefusedAndChangesNothing) {
    VirtualMac mac{TEST_BIN_DIR};
    ASSERT_EQ(mac.vmac({"mic", "start", "com.example.app", "1234"}).status, 0);
    const auto before = mac.vmac({"camera"}).out + mac.vmac({"mic"}).out;
    const struct {
        std::vector<std::string> arguments;
        int status;
        const char* says;
    } cases[] = {
        {{"camera", "start", "Nope"}, 1, "no camera named 'Nope'"},
        {{"camera", "add", "FaceTime HD Camera"}, 1, "already connected"},
        {{"camera", "add"}, 64, "takes one camera name"},
        {{"camera", "plug", "X"}, 64, "unknown action"},
        {{"camera", "add", std::string(65, 'x')}, 64, "1 to 64 bytes"},
        {{"mic", "start", "com.example.app", "-5"}, 64, "a pid is a whole number"},
        {{"mic", "start", "com.example.app", "99999999999"}, 64, "a pid is a whole number"},
        {{"mic", "start", "com.other", "1234"}, 1, "pid 1234 is com.example.app"},
        {{"mic", "start"}, 64, "takes a bundle identifier"},
        {{"mic", "stop", "com.absent"}, 1, "no audio process of com.absent"},
        {{"mic", "start", "not a bundle"}, 64, "bundle identifier"},
    };
    for (const auto& c : cases) {
        const auto result = mac.vmac(c.arguments);
        EXPECT_EQ(result.status, c.status) << c.arguments[1];
        EXPECT_THAT(result.err, HasSubstr(c.says)) << c.arguments[1];
    }
    EXPECT_EQ(mac.vmac({"camera"}).out + mac.vmac({"mic"}).out, before);
    for (const auto* command : {"camera", "mic"}) {
        const auto help = mac.vmac({command, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_THAT(help.out, HasSubstr("usage: vmac " + std::string(command)));
    }
}

}  // namespace
}  // namespace lidora
