// The session state in the root and the session dictionary and power
// sources read from it.
#include <gtest/gtest.h>

#include "platform/session/SessionEvents.h"
#include "platform/session/VirtualPowerSources.h"
#include "platform/session/VirtualSessionInfo.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace lidora::vmac {
namespace {

using Events = std::vector<SessionEvent>;

constexpr SessionState kFresh{};
constexpr SessionState kLocked{true, PowerSourceKind::ac, false};
constexpr SessionState kOnBattery{false, PowerSourceKind::battery, false};
constexpr SessionState kAsleep{false, PowerSourceKind::ac, true};
constexpr SessionState kEverything{true, PowerSourceKind::battery, true};

TEST(SessionStateRecord, RoundTripsAndRefusesDamage) {
    for (const auto& state : {kFresh, kLocked, kOnBattery, kAsleep, kEverything}) {
        EXPECT_EQ(decodeSessionState(encodeSessionState(state)).value(), state);
    }
    for (const auto* damaged : {
             "",
             "not json",
             "[]",
             R"({"screenLocked": true, "powerSource": "AC Power"})",
             R"({"screenLocked": 1, "powerSource": "AC Power", "displaysAsleep": false})",
             R"({"screenLocked": true, "powerSource": "UPS Power", "displaysAsleep": false})",
             R"({"screenLocked": true, "powerSource": "ac", "displaysAsleep": false})",
             R"({"screenLocked": true, "powerSource": null, "displaysAsleep": false})",
         }) {
        EXPECT_FALSE(decodeSessionState(damaged).has_value()) << damaged;
    }
}

TEST(SessionEvents, AnnounceWhatChangedInTheSystemsOrder) {
    const struct {
        std::optional<SessionState> before;
        SessionState after;
        Events expected;
    } cases[] = {
        {kFresh, kFresh, {}},
        {kFresh, kLocked, {SessionEvent::screenLocked}},
        {kLocked, kFresh, {SessionEvent::screenUnlocked}},
        {kFresh, kOnBattery, {SessionEvent::powerSourceChanged}},
        {kOnBattery, kFresh, {SessionEvent::powerSourceChanged}},
        {kFresh, kAsleep, {SessionEvent::screensDidSleep}},
        {kAsleep, kFresh, {SessionEvent::systemDidWake, SessionEvent::screensDidWake}},
        // Readers saw nothing: everything the new state says is news.
        {std::nullopt,
         kFresh,
         {SessionEvent::screenUnlocked, SessionEvent::powerSourceChanged, SessionEvent::systemDidWake,
          SessionEvent::screensDidWake}},
        {std::nullopt,
         kEverything,
         {SessionEvent::screenLocked, SessionEvent::powerSourceChanged, SessionEvent::screensDidSleep}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sessionEvents(c.before, c.after), c.expected) << encodeSessionState(c.after);
    }
}

class SessionStandIns : public ::testing::Test {
protected:
    bool screenLocked() const {
        const auto session = sessionInfo.copyCurrentDictionary();
        if (!session) {
            return false;
        }
        const auto found = session->find(kSessionScreenIsLockedKey);
        return found != session->end() && found->second.isBool() && found->second.asBool() == true;
    }
    std::optional<std::string> powerSource() const {
        const auto info = powerSources.copyPowerSourcesInfo();
        return info ? powerSources.providingPowerSourceType(*info) : std::nullopt;
    }
    Expected<SessionChange, std::string> change(const std::function<void(SessionState&)>& apply) {
        return changeSessionState(paths, apply, [this](const std::string& warning) { warnings.push_back(warning); });
    }

    testing::TempDir dir;
    VmacPaths paths{dir.path()};
    VirtualSessionInfo sessionInfo{paths};
    VirtualPowerSources powerSources{paths};
    std::vector<std::string> warnings;
};

TEST_F(SessionStandIns, AFreshMacIsUnlockedOnACPowerAndChangesAreReadBack) {
    ASSERT_TRUE(sessionInfo.copyCurrentDictionary().has_value());
    EXPECT_FALSE(sessionInfo.copyCurrentDictionary()->contains(kSessionScreenIsLockedKey))
        << "the system names the flag only while locked";
    EXPECT_EQ(sessionInfo.copyCurrentDictionary()->at("kCGSSessionOnConsoleKey"), PreferenceValue(true));
    EXPECT_EQ(powerSource(), "AC Power");
    EXPECT_FALSE(std::filesystem::exists(sessionStateFile(paths))) << "reading writes nothing";

    const auto locked = change([](SessionState& state) { state.screenLocked = true; });
    ASSERT_TRUE(locked.has_value()) << locked.error();
    EXPECT_EQ(locked->events, Events{SessionEvent::screenLocked});
    const auto again = change([](SessionState& state) { state.screenLocked = true; });
    EXPECT_TRUE(again->events.empty());
    ASSERT_TRUE(change([](SessionState& state) { state.powerSource = PowerSourceKind::battery; }).has_value());
    EXPECT_TRUE(screenLocked());
    EXPECT_EQ(powerSource(), "Battery Power");
    EXPECT_EQ(readSessionState(paths).value(), (SessionState{true, PowerSourceKind::battery, false}));

    struct Foreign final : PowerSourcesBlob {};
    EXPECT_FALSE(powerSources.providingPowerSourceType(Foreign{}).has_value());
    EXPECT_TRUE(warnings.empty());
}

// Readers fail as the system's calls do, so callers fall back to not locked
// and not on AC power; the next change keeps the damaged file aside.
TEST_F(SessionStandIns, ADamagedStateReadsAsNothingAndIsKeptAsideOnTheNextChange) {
    ASSERT_TRUE(ensureSessionFolder(paths).has_value());
    const std::string damaged = R"({"screenLocked": true, "powerSource": "Mains", "displaysAsleep": false})";
    testing::writeFile(sessionStateFile(paths), damaged);

    EXPECT_FALSE(sessionInfo.copyCurrentDictionary().has_value());
    EXPECT_EQ(powerSources.copyPowerSourcesInfo(), nullptr);
    EXPECT_FALSE(screenLocked());
    EXPECT_FALSE(powerSource().has_value());
    EXPECT_EQ(testing::readFile(sessionStateFile(paths)), damaged) << "reading leaves the file as it was";

    const auto locked = change([](SessionState& state) { state.screenLocked = true; });
    ASSERT_TRUE(locked.has_value()) << locked.error();
    EXPECT_EQ(locked->events, (Events{SessionEvent::screenLocked, SessionEvent::powerSourceChanged,
                                      SessionEvent::systemDidWake, SessionEvent::screensDidWake}));
    ASSERT_EQ(warnings.size(), 1U);
    EXPECT_NE(warnings[0].find("kept it as"), std::string::npos) << warnings[0];
    EXPECT_TRUE(screenLocked());
    EXPECT_EQ(powerSource(), "AC Power");

    int keptAside = 0;
    for (const auto& entry : std::filesystem::directory_iterator(sessionStateFile(paths).parent_path())) {
        if (entry.path().filename().string().starts_with("state.json.corrupt-")) {
            EXPECT_EQ(testing::readFile(entry.path()), damaged);
            ++keptAside;
        }
    }
    EXPECT_EQ(keptAside, 1);
}

}  // namespace
}  // namespace lidora::vmac
