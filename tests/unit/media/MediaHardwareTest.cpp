#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/media/VirtualAudioHardware.h"
#include "platform/media/VirtualCMIOHardware.h"
#include "platform/runloop/PollRunLoop.h"
#include "tests/support/TempDir.h"

using ::testing::ElementsAre;

namespace lidora::vmac {
namespace {

TEST(MediaRecordsTest, RoundTripsAndRefusesImpossibleDevices) {
    MediaRecords records;
    records.cameras.push_back({3, "Studio Display Camera", true});
    records.audioProcesses.push_back({4, 1234, "com.example.app", true});
    records.nextObjectID = 5;
    EXPECT_EQ(*decodeMediaRecords(encodeMediaRecords(records)), records);

    const auto withProcess = [](const std::string& process) {
        return R"({"cameras": [], "nextObjectID": 9, "audioProcesses": [)" + process + "]}";
    };
    for (
        const auto& refused : {
            std::string(
                R"({"cameras": [{"id": 1, "name": "A", "runningSomewhere": true}], "audioProcesses": [], "nextObjectID": 9})"),
            std::string(
                R"({"cameras": [{"id": 9, "name": "A", "runningSomewhere": true}], "audioProcesses": [], "nextObjectID": 9})"),
            std::string(
                R"({"cameras": [{"id": 3, "name": "", "runningSomewhere": true}], "audioProcesses": [], "nextObjectID": 9})"),
            std::string(
                R"({"cameras": [{"id": 3, "name": "A\n", "runningSomewhere": true}], "audioProcesses": [], "nextObjectID": 9})"),
            std::string(
                R"({"cameras": [{"id": 3, "name": "A", "runningSomewhere": 1}], "audioProcesses": [], "nextObjectID": 9})"),
            std::string(
                R"({"cameras": [{"id": 3, "name": "A", "runningSomewhere": true}, {"id": 4, "name": "A", "runningSomewhere": false}], "audioProcesses": [], "nextObjectID": 9})"),
            withProcess(R"({"id": 3, "pid": 0, "bundleID": "com.a", "runningInput": true})"),
            withProcess(R"({"id": 3, "pid": 4294967296, "bundleID": "com.a", "runningInput": true})"),
            withProcess(R"({"id": 3, "pid": 7, "bundleID": "com a", "runningInput": true})"),
            withProcess(
                R"({"id": 3, "pid": 7, "bundleID": "com.a", "runningInput": true}, {"id": 3, "pid": 8, "bundleID": "com.b", "runningInput": true})"),
            std::string(R"({"cameras": [], "audioProcesses": []})"),
            std::string("not json"),
        }) {
        EXPECT_FALSE(decodeMediaRecords(refused)) << refused;
    }
}

TEST(MediaRecordsTest, ListenersHearTheListsAndTheFlagsThatChanged) {
    const auto camera = [](CMIOObjectID id, FourCharCode selector) {
        return PropertyChange<CMIOObjectPropertyAddress>{
            id, {selector, kCMIOObjectPropertyScopeGlobal, kCMIOObjectPropertyElementMain}};
    };
    const auto audio = [](AudioObjectID id, FourCharCode selector) {
        return PropertyChange<AudioObjectPropertyAddress>{
            id, {selector, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain}};
    };
    MediaRecords before;
    before.cameras = {{3, "A", false}};
    before.audioProcesses = {{4, 10, "com.a", false}, {5, 11, "com.b", true}};
    before.nextObjectID = 7;

    auto after = before;
    after.cameras[0].runningSomewhere = true;
    after.audioProcesses[1].runningInput = false;
    EXPECT_THAT(cameraChanges(before, after), ElementsAre(camera(3, kCMIODevicePropertyDeviceIsRunningSomewhere)));
    EXPECT_THAT(audioChanges(before, after), ElementsAre(audio(5, kAudioProcessPropertyIsRunningInput)));

    // A newcomer already running is told through the list alone; a leaver too.
    after = before;
    after.cameras.push_back({6, "B", true});
    after.audioProcesses.erase(after.audioProcesses.begin());
    after.audioProcesses[0].runningInput = false;
    EXPECT_THAT(cameraChanges(before, after), ElementsAre(camera(1, kCMIOHardwarePropertyDevices)));
    EXPECT_THAT(audioChanges(before, after), ElementsAre(audio(1, kAudioHardwarePropertyProcessObjectList),
                                                         audio(5, kAudioProcessPropertyIsRunningInput)));
    EXPECT_TRUE(cameraChanges(before, before).empty());
}

TEST(MediaHardwareTest, AnswersPropertyReadsAsTheFrameworksDo) {
    const testing::TempDir root;
    const VmacPaths paths(root.path());
    PollRunLoop loop;
    VirtualCMIOHardware video(loop, paths);
    VirtualAudioHardware audio(loop, paths);
    const CMIOObjectPropertyAddress devices{kCMIOHardwarePropertyDevices, kCMIOObjectPropertyScopeGlobal, 0};
    const CMIOObjectPropertyAddress running{kCMIODevicePropertyDeviceIsRunningSomewhere,
                                            kCMIOObjectPropertyScopeWildcard, kCMIOObjectPropertyElementWildcard};
    const auto audioAddress = [](FourCharCode selector) {
        return AudioObjectPropertyAddress{selector, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
    };
    std::uint32_t words[2] = {};
    const auto bytes = [&](std::size_t count) { return std::span(reinterpret_cast<unsigned char*>(words), count); };

    // A fresh Mac: its built-in camera, idle; no audio clients.
    EXPECT_EQ(*video.getPropertyDataSize(kCMIOObjectSystemObject, devices), 4U);
    EXPECT_EQ(*video.getPropertyData(kCMIOObjectSystemObject, devices, bytes(8)), 4U);
    EXPECT_EQ(words[0], kBuiltInCameraID);
    EXPECT_EQ(
        *audio.getPropertyDataSize(kAudioObjectSystemObject, audioAddress(kAudioHardwarePropertyProcessObjectList)),
        0U);

    ASSERT_TRUE(mediaRecord(paths).update([](MediaRecords& records) {
        records.cameras[0].runningSomewhere = true;
        records.audioProcesses.push_back({9, 1234, "com.example.app", true});
        records.nextObjectID = 10;
        return true;
    }));
    EXPECT_EQ(*video.getPropertyData(kBuiltInCameraID, running, bytes(4)), 4U);
    EXPECT_EQ(words[0], 1U);
    EXPECT_EQ(*audio.getPropertyData(9, audioAddress(kAudioProcessPropertyPID), bytes(4)), 4U);
    EXPECT_EQ(words[0], 1234U);
    EXPECT_EQ(**audio.getStringPropertyData(9, audioAddress(kAudioProcessPropertyBundleID)), "com.example.app");

    const struct {
        const char* name;
        Expected<std::uint32_t, OSStatus> result;
        OSStatus error;
    } failures[] = {
        {"no such camera", video.getPropertyData(7, running, bytes(4)), kCMIOHardwareBadObjectError},
        {"unknown property", video.getPropertyData(kBuiltInCameraID, devices, bytes(4)),
         kCMIOHardwareUnknownPropertyError},
        {"buffer too small", video.getPropertyData(kBuiltInCameraID, running, bytes(2)),
         kCMIOHardwareBadPropertySizeError},
        {"no such process", audio.getPropertyData(8, audioAddress(kAudioProcessPropertyPID), bytes(4)),
         kAudioHardwareBadObjectError},
        {"a string as bytes", audio.getPropertyData(9, audioAddress(kAudioProcessPropertyBundleID), bytes(8)),
         kAudioHardwareUnsupportedOperationError},
    };
    for (const auto& failure : failures) {
        ASSERT_FALSE(failure.result) << failure.name;
        EXPECT_EQ(failure.result.error(), failure.error) << failure.name;
    }
    EXPECT_FALSE(video.addPropertyListenerBlock(7, running, [](auto) {}));
}

}  // namespace
}  // namespace lidora::vmac
