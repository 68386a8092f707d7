#include <gtest/gtest.h>

#include "core/light/DaemonRegistration.h"
#include "core/runtime/VirtualRunLoop.h"
#include "tests/support/StartedTask.h"

namespace lidora {
namespace {

class FakeDaemonService final : public DaemonService {
public:
    [[nodiscard]] int status() const override { return raw; }
    void registerService(CompletionHandler completion) override { completions.push_back(std::move(completion)); }
    void unregister(CompletionHandler completion) override { completions.push_back(std::move(completion)); }

    int raw = 0;
    std::vector<CompletionHandler> completions;
};

class FakeSettings final : public SystemSettings {
public:
    void openLoginItems() override { ++opened; }
    int opened = 0;
};

using Change = Task<Expected<void, PlatformError>> (HelperRegistering::*)();

Task<void> changeInto(HelperRegistering& registration, Change change,
                      std::optional<Expected<void, PlatformError>>& into) {
    into.emplace(co_await (registration.*change)());
}

class DaemonRegistrationTest : public ::testing::Test {
protected:
    VirtualRunLoop loop;
    FakeDaemonService service;
    FakeSettings settings;
    DaemonRegistration registration{service, settings, loop};
};

TEST_F(DaemonRegistrationTest, MapsTheRawStatusFreshOnEveryRead) {
    const std::pair<int, HelperStatus> cases[] = {{0, HelperStatus::notRegistered},
                                                  {1, HelperStatus::enabled},
                                                  {2, HelperStatus::requiresApproval},
                                                  {4, HelperStatus::notFound},
                                                  {-1, HelperStatus::notFound}};
    for (const auto& [raw, status] : cases) {
        service.raw = raw;
        EXPECT_EQ(registration.status(), status) << raw;
    }
    registration.openSystemSettings();
    EXPECT_EQ(settings.opened, 1);
}

TEST_F(DaemonRegistrationTest, RegisterAndUnregisterWaitForTheServiceManager) {
    for (const Change change : {&HelperRegistering::registerService, &HelperRegistering::unregister}) {
        service.completions.clear();
        std::optional<Expected<void, PlatformError>> first;
        auto running = testing::start(changeInto(registration, change, first));
        loop.runUntilIdle();
        EXPECT_FALSE(first);
        service.completions.at(0)(std::nullopt);
        EXPECT_FALSE(first) << "resumed from the loop, never inside the completion";
        loop.runUntilIdle();
        ASSERT_TRUE(first);
        EXPECT_TRUE(first->has_value());

        std::optional<Expected<void, PlatformError>> second;
        auto failing = testing::start(changeInto(registration, change, second));
        service.completions.at(1)(PlatformError{"Operation not permitted"});
        loop.runUntilIdle();
        ASSERT_TRUE(second);
        EXPECT_EQ(second->error().localizedDescription, "Operation not permitted");
    }
}

}  // namespace
}  // namespace lidora
