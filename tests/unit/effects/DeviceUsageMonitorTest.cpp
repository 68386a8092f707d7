#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "core/effects/DeviceUsageMonitor.h"
#include "tests/support/FakeMediaHardware.h"
#include "tests/support/RecordingLogSink.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace lidora {
namespace {

constexpr std::int32_t kOwnPid = 500;

class DeviceUsageMonitorTest : public ::testing::Test {
protected:
    std::unique_ptr<DeviceUsageMonitor> makeMonitor() {
        return std::make_unique<DeviceUsageMonitor>(
            video, audio, kOwnPid, Logger(sink, std::string(kLogSubsystem), "onair"), [this] { ++changes; });
    }
    void setProcesses(std::vector<std::pair<AudioObjectID, testing::FakeAudioProcess>> processes) {
        audio.processList.clear();
        audio.processes.clear();
        for (auto& [id, process] : processes) {
            audio.processList.push_back(id);
            audio.processes[id] = std::move(process);
        }
    }
    static testing::FakeAudioProcess app(std::string bundleID, std::int32_t pid, std::uint32_t input = 1) {
        return {input, pid, std::optional<std::string>(std::move(bundleID))};
    }

    testing::FakeCMIOHardware video;
    testing::FakeAudioHardware audio;
    std::shared_ptr<testing::RecordingLogSink> sink = std::make_shared<testing::RecordingLogSink>();
    int changes = 0;
};

TEST_F(DeviceUsageMonitorTest, EvaluatesTheSystemsUsageFlags) {
    const struct {
        const char* name;
        std::map<CMIOObjectID, std::uint32_t> cameras;  // a camera listed but absent here fails its read
        std::vector<CMIOObjectID> listed;
        std::vector<std::pair<AudioObjectID, testing::FakeAudioProcess>> processes;
        bool listsFail;
        std::string log;  // empty: nothing changed from the initial state
    } cases[] = {
        {"idle camera, no audio", {{10, 0}}, {10}, {}, false, ""},
        {"second camera running",
         {{10, 0}, {11, 1}},
         {10, 11},
         {},
         false,
         "Camera in use: true; microphone in use: false "},
        {"camera whose flag cannot be read", {}, {12}, {}, false, ""},
        {"own input excluded, two apps in list order",
         {},
         {},
         {{30, app("com.zelquin.lidora", kOwnPid)},
          {31, app("us.zoom.xos", 900)},
          {32, app("com.idle.app", 901, 0)},
          {33, app("com.apple.FaceTime", 902)}},
         false,
         "Camera in use: false; microphone in use: true us.zoom.xos, com.apple.FaceTime"},
        {"failed reads: input unread, no pid, no bundle",
         {},
         {},
         {{40, {std::nullopt, 77, std::optional<std::string>("com.unread")}},
          {41, {1, std::nullopt, std::nullopt}},
          {42, {1, 78, std::optional<std::string>()}}},
         false,
         "Camera in use: false; microphone in use: true pid 0, pid 78"},
        {"lists that cannot be read", {{10, 1}}, {10}, {{31, app("us.zoom.xos", 900)}}, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        video.devices = c.listed;
        video.running = c.cameras;
        video.deviceListFails = audio.processListFails = c.listsFail;
        setProcesses(c.processes);
        sink->records.clear();
        changes = 0;

        auto monitor = makeMonitor();
        monitor->start();

        EXPECT_EQ(changes, c.log.empty() ? 0 : 1);
        EXPECT_EQ(sink->messages(), c.log.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.log});
        if (!c.log.empty()) {
            EXPECT_EQ(sink->records[0].category, "onair");
            EXPECT_EQ(sink->records[0].level, LogLevel::Default);
        }
    }
}

TEST_F(DeviceUsageMonitorTest, FollowsCamerasThatArePluggedInAfterStart) {
    auto monitor = makeMonitor();
    monitor->start();
    monitor->start();
    EXPECT_EQ(video.listeners.count(kCMIOObjectSystemObject), 1U);

    video.devices = {12};
    video.running[12] = 0;
    video.listeners.fire(kCMIOObjectSystemObject, kCMIOHardwarePropertyDevices);
    EXPECT_EQ(changes, 0);

    video.running[12] = 1;
    video.listeners.fire(12, kCMIODevicePropertyDeviceIsRunningSomewhere);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(monitor->cameraInUse());

    // Unplugged while running: the list change alone settles it.
    video.devices.clear();
    video.listeners.fire(kCMIOObjectSystemObject, kCMIOHardwarePropertyDevices);
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(monitor->cameraInUse());
}

TEST_F(DeviceUsageMonitorTest, CallsBackOnlyWhenTheAnswerChanges) {
    video.devices = {10};
    video.running[10] = 1;
    setProcesses({{31, app("us.zoom.xos", 900)}, {32, app("com.apple.FaceTime", 901)}});
    auto monitor = makeMonitor();
    monitor->start();
    ASSERT_EQ(changes, 1);

    // Notifications that change none of the three values.
    video.listeners.fire(kCMIOObjectSystemObject, kCMIOHardwarePropertyDevices);
    video.listeners.fire(10, kCMIODevicePropertyDeviceIsRunningSomewhere);
    audio.listeners.fire(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
    audio.listeners.fire(31, kAudioProcessPropertyIsRunningInput);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(sink->records.size(), 1U);

    // One app leaves and another joins: still on the microphone, other apps.
    setProcesses({{32, app("com.apple.FaceTime", 901)}, {35, app("com.hnc.Discord", 903)}});
    audio.listeners.fire(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(monitor->microphoneInUse());
    EXPECT_THAT(monitor->microphoneApps(), ElementsAre("com.apple.FaceTime", "com.hnc.Discord"));

    audio.processes[32].runningInput = 0;
    audio.processes[35].runningInput = 0;
    audio.listeners.fire(35, kAudioProcessPropertyIsRunningInput);
    EXPECT_EQ(changes, 3);
    EXPECT_FALSE(monitor->microphoneInUse());
    EXPECT_THAT(monitor->microphoneApps(), IsEmpty());
    EXPECT_EQ(sink->messages().back(), "Camera in use: true; microphone in use: false ");
}

TEST_F(DeviceUsageMonitorTest, ListensOnceToEachObjectWhileItIsListed) {
    setProcesses({{31, app("us.zoom.xos", 900)}});
    auto monitor = makeMonitor();
    monitor->start();
    EXPECT_EQ(audio.listeners.count(31), 1U);

    setProcesses({});
    audio.listeners.fire(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
    EXPECT_EQ(audio.listeners.count(31), 0U);

    // The same object id comes back: listened to once, and heard.
    setProcesses({{31, app("us.zoom.xos", 900, 0)}});
    audio.listeners.fire(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
    audio.listeners.fire(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
    EXPECT_EQ(audio.listeners.count(31), 1U);
    const int before = changes;
    audio.processes[31].runningInput = 1;
    audio.listeners.fire(31, kAudioProcessPropertyIsRunningInput);
    EXPECT_EQ(changes, before + 1);

    // Gone with the monitor: nothing calls into it afterwards.
    monitor.reset();
    EXPECT_EQ(audio.listeners.count(31), 0U);
    EXPECT_EQ(audio.listeners.count(kAudioObjectSystemObject), 0U);
    EXPECT_EQ(video.listeners.count(kCMIOObjectSystemObject), 0U);
}

}  // namespace
}  // namespace lidora
