#include <gtest/gtest.h>

#include "StartedTask.h"
#include "light/DaemonRegistration.h"
#include "runtime/VirtualRunLoop.h"

namespace lidora {
namespace {

class FakeDaemonService final : public DaemonService {
public:
    [[nodiscard]] int status() const override { return raw; }
    Expected<void, PlatformError> registerService() override { return {}; }
    void unregister(std::function<void(std::optional<PlatformError>)> completion) override {
        completions.push_back(std::move(completion));
    }

    int raw = notRegistered;
    std::vector<std::function<void(std::optional<PlatformError>)>> completions;
};

class FakeSettings final : public SystemSettings {
public:
    void openLoginItems() override { ++opened; }
    int opened = 0;
};

Task<void> unregisterInto(HelperRegistering& registration, std::optional<Expected<void, PlatformError>>& into) {
    into.emplace(co_await registration.unregister());
}

TEST(DaemonRegistration, MapsTheRawStatusFreshOnEveryRead) {
    VirtualRunLoop loop;
    FakeDaemonService service;
    FakeSettings settings;
    DaemonRegistration registration(service, settings, loop);
    const std::vector<std::pair<int, HelperStatus>> cases{
        {0, HelperStatus::notRegistered}, {1, HelperStatus::enabled},  {2, HelperStatus::requiresApproval},
        {3, HelperStatus::notFound},      {4, HelperStatus::notFound}, {-1, HelperStatus::notFound}};
    for (const auto& [raw, status] : cases) {
        service.raw = raw;
        EXPECT_EQ(registration.status(), status) << raw;
    }
    EXPECT_EQ(helperStatusName(HelperStatus::requiresApproval), "requiresApproval");
    registration.openSystemSettings();
    EXPECT_EQ(settings.opened, 1);
}

TEST(DaemonRegistration, UnregisterWaitsForTheServiceManager) {
    VirtualRunLoop loop;
    FakeDaemonService service;
    FakeSettings settings;
    DaemonRegistration registration(service, settings, loop);

    std::optional<Expected<void, PlatformError>> first;
    auto running = testing::start(unregisterInto(registration, first));
    loop.runUntilIdle();
    EXPECT_FALSE(first);
    service.completions.at(0)(std::nullopt);
    loop.runUntilIdle();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->has_value());

    std::optional<Expected<void, PlatformError>> second;
    auto failing = testing::start(unregisterInto(registration, second));
    service.completions.at(1)(PlatformError{"Operation not permitted"});
    loop.runUntilIdle();
    ASSERT_TRUE(second);
    ASSERT_FALSE(second->has_value());
    EXPECT_EQ(second->error().localizedDescription, "Operation not permitted");
}

}  // namespace
}  // namespace lidora
