// The records several processes share: hot keys and control reloads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "platform/bus/BusNames.h"
#include "platform/bus/ControlReloadRecord.h"
#include "platform/bus/HotKeyRecord.h"
#include "platform/vmac/MessageBusConfig.h"
#include "tests/support/TempDir.h"

namespace lidora::vmac {
namespace {

constexpr std::uint32_t kShiftCmd = kShiftKey | kCmdKey;

HotKeyRegistration registration(KeyCombination combination, pid_t pid, std::uint32_t id) {
    return {combination,
            {pid, 1000U + static_cast<std::uint64_t>(pid)},
            "app" + std::to_string(pid),
            {fourCharCode("LDRA"), id}};
}

TEST(HotKeyRegistrations, ACombinationBelongsToOneLiveProcess) {
    std::set<pid_t> alive = {10, 20};
    const IsAlive isAlive = [&](const ProcessIdentity& process) { return alive.contains(process.pid); };
    HotKeyRegistrations records;
    const KeyCombination seven{26, kShiftCmd};
    const KeyCombination zero{29, kShiftCmd};

    const struct {
        HotKeyRegistration wanted;
        std::int32_t expected;
        std::size_t recordsAfter;
    } steps[] = {
        {registration(seven, 10, 1), kNoErr, 1},
        {registration(zero, 10, 2), kNoErr, 2},
        {registration(seven, 20, 1), kEventHotKeyExistsErr, 2},  // another process holds it
        {registration(seven, 10, 3), kEventHotKeyExistsErr, 2},  // so does Carbon for the holder itself
        {registration({26, kCmdKey}, 20, 1), kNoErr, 3},         // other modifiers, other combination
    };
    for (const auto& step : steps) {
        const auto added = addHotKeyRegistration(records, step.wanted, isAlive);
        EXPECT_EQ(added ? kNoErr : added.error(), step.expected) << step.wanted.owner.pid;
        EXPECT_EQ(records.size(), step.recordsAfter);
    }
    EXPECT_EQ(holderOf(records, seven, isAlive)->owner.pid, 10);

    // Once the holder ends, its combinations are free and its entries go.
    alive.erase(10);
    EXPECT_FALSE(holderOf(records, seven, isAlive));
    ASSERT_TRUE(addHotKeyRegistration(records, registration(seven, 20, 9), isAlive));
    EXPECT_EQ(records.size(), 2U);
    EXPECT_EQ(holderOf(records, seven, isAlive)->id.id, 9U);
}

TEST(HotKeyRegistrations, SurviveTheirFileAndRefuseDamagedOnes) {
    const HotKeyRegistrations records = {registration({26, kShiftCmd}, 10, 1), registration({29, kShiftCmd}, 11, 2)};
    EXPECT_EQ(decodeHotKeyRegistrations(encodeHotKeyRegistrations(records)).value(), records);
    for (const auto* damaged : {"", "[]", "{\"hotKeys\": 3}", "{\"hotKeys\": [{\"keyCode\": 26}]}",
                                "{\"hotKeys\": [{\"keyCode\": -1, \"modifiers\": 768, \"pid\": 1, \"started\": 1, "
                                "\"signature\": 1, \"id\": 1}]}"}) {
        EXPECT_FALSE(decodeHotKeyRegistrations(damaged)) << damaged;
    }
}

TEST(HotKeyRegistrations, KnowAProcessByItsStartAsWellAsItsPid) {
    const auto self = identifyProcess(::getpid());
    ASSERT_TRUE(self);
    EXPECT_TRUE(processIsAlive(*self));
    EXPECT_FALSE(processIsAlive({self->pid, self->startTime + 1}));  // a later process with a reused pid
    EXPECT_FALSE(identifyProcess(0));
}

TEST(HotKeyRecord, WithdrawsOnlyTheGivenProcesssKeys) {
    const testing::TempDir root;
    HotKeyRecord record{VmacPaths(root.path())};
    const auto self = identifyProcess(::getpid()).value();
    auto ours = registration({26, kShiftCmd}, self.pid, 1);
    ours.owner = self;
    ASSERT_TRUE(record.add(ours));
    const auto taken = record.add(ours);
    ASSERT_FALSE(taken);
    EXPECT_EQ(taken.error().status, kEventHotKeyExistsErr);
    EXPECT_EQ(taken.error().reason, "⇧⌘7 is taken");
    ASSERT_TRUE(record.removeAllOf({self.pid, self.startTime + 1}));
    EXPECT_EQ(record.read()->size(), 1U);
    ASSERT_TRUE(record.removeAllOf(self));
    EXPECT_TRUE(record.read()->empty());
}

TEST(ControlReloadRecord, CountsEachKindAndKeepsADamagedFileAside) {
    const testing::TempDir root;
    std::vector<std::string> warnings;
    ControlReloadRecord record(VmacPaths(root.path()), [&](const std::string& text) { warnings.push_back(text); });
    for (const auto* kind : {"light", "brightness", "light"}) {
        ASSERT_TRUE(record.countReload(kind));
    }
    EXPECT_EQ(record.read().value(), (ControlReloadCounts{{"brightness", 1}, {"light", 2}}));
    EXPECT_FALSE(record.countReload(""));

    const auto file = root.path() / "var" / "db" / "vmac" / "control-reloads.json";
    std::ofstream(file) << "{\"reloads\": {\"light\": \"many\"}}";
    EXPECT_TRUE(record.read()->empty());
    ASSERT_TRUE(record.countReload("light"));
    EXPECT_EQ(record.read().value(), (ControlReloadCounts{{"light", 1}}));
    EXPECT_EQ(warnings.size(), 2U);  // read as empty, then kept aside
}

TEST(MessageBusNames, BundleIdentifiersBecomeValidBusNames) {
    const struct {
        const char* identifier;
        const char* name;
    } cases[] = {
        {"com.zelquin.lidora", "vmac.app.com.zelquin.lidora"},
        {"com.zelquin.lidora.LidoraControl", "vmac.app.com.zelquin.lidora.LidoraControl"},
        {"probe", "vmac.app.probe"},
        {"com.4ever.my app", "vmac.app.com._4ever.my_app"},
        {"a..b", "vmac.app.a._.b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(busNameForBundleIdentifier(c.identifier), c.name);
    }
}

TEST(MessageBusNames, MatchRulesNarrowByArgumentOnlyWhereBothParsersAgree) {
    const BusSignalName posted{"/p", "i.f", "Posted"};
    const std::string any = "type='signal',path='/p',interface='i.f',member='Posted'";
    EXPECT_EQ(busMatchRule(posted, std::nullopt), any);
    EXPECT_EQ(busMatchRule(posted, std::string("a b,c")), any + ",arg0='a b,c'");
    EXPECT_EQ(busMatchRule(posted, std::string("it's")), any);
    EXPECT_EQ(busMatchRule(posted, std::string("back\\slash")), any);
}

TEST(MessageBusConfig, ListensUnderTheRootWithTheAddressEscaped) {
    const VmacPaths paths("/tmp/a mac&co");
    EXPECT_EQ(messageBusAddress(paths), "unix:path=/tmp/a%20mac%26co/var/run/vmac-bus.socket");
    EXPECT_NE(messageBusConfigText(paths).find("<listen>unix:path=/tmp/a%20mac%26co/var/run/vmac-bus.socket</listen>"),
              std::string::npos);
}

}  // namespace
}  // namespace lidora::vmac
