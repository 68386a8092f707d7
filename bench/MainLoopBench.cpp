// Times how long the app's main loop is kept busy by what it does most
// often with the service manager: redrawing the panel (which shows the
// helper's status), looking for the user's approval, and starting a
// registration. launchd is played by a stand-in on its control socket that
// answers one second late, and, as the baseline in the same run, by one that
// answers at once. None of them may hold the loop for more than 5 ms.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <thread>
#include <variant>
#include <vector>

#include "core/light/DaemonRegistration.h"
#include "core/shell/ApprovalWatch.h"
#include "core/shell/PanelPresenter.h"
#include "platform/launchd/LaunchdPaths.h"
#include "platform/launchd/ServiceRegistry.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/servicemanagement/VirtualDaemonService.h"
#include "platform/vmac/FileDescriptor.h"
#include "tests/support/MemoryDefaults.h"
#include "tests/support/StartedTask.h"
#include "tests/support/VirtualMac.h"

using namespace lidora;
using namespace lidora::vmac;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr int kRedraws = 300;
constexpr int kPolls = 300;
constexpr double kBudgetMs = 5.0;

// launchd's control protocol, each answer `delay` late; a registration is
// refused as while approval is pending. One request at a time is plenty here.
class LaunchdStandIn {
public:
    LaunchdStandIn(const VmacPaths& paths, std::chrono::milliseconds delay)
        : path_(launchdControlSocket(paths)), delay_(delay), stop_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        std::filesystem::create_directories(path_.parent_path());
        std::filesystem::remove(path_);
        listener_ = FileDescriptor(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        if (::bind(listener_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_.get(), 16) != 0) {
            throw std::runtime_error("cannot listen on " + path_.string());
        }
        thread_ = std::jthread([this] { serve(); });
    }
    LaunchdStandIn(const LaunchdStandIn&) = delete;
    LaunchdStandIn& operator=(const LaunchdStandIn&) = delete;
    ~LaunchdStandIn() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(stop_.get(), &one, sizeof one);
        thread_.join();
        std::filesystem::remove(path_);
    }

private:
    enum class Woken { ready, timedOut, stopped };

    // Waits for `fd` (none when negative) or for the bench to end.
    Woken wait(int fd, int milliseconds) const {
        std::array<pollfd, 2> fds{{{stop_.get(), POLLIN, 0}, {fd, POLLIN, 0}}};
        const int ready = ::poll(fds.data(), fd < 0 ? 1 : 2, milliseconds);
        if ((fds[0].revents & POLLIN) != 0) {
            return Woken::stopped;
        }
        return ready > 0 ? Woken::ready : Woken::timedOut;
    }

    void serve() {
        while (wait(listener_.get(), -1) != Woken::stopped) {
            const FileDescriptor client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
            std::string line;
            char buffer[4096];
            while (line.find('\n') == std::string::npos) {
                const auto woken = wait(client.get(), 1000);
                if (woken == Woken::stopped) {
                    return;
                }
                const auto count = woken == Woken::ready ? ::read(client.get(), buffer, sizeof buffer) : 0;
                if (count <= 0) {
                    break;
                }
                line.append(buffer, static_cast<std::size_t>(count));
            }
            if (wait(-1, static_cast<int>(delay_.count())) == Woken::stopped) {
                return;
            }
            const auto request = nlohmann::json::parse(line.substr(0, line.find('\n')), nullptr, false);
            const auto command = request.is_object() ? request.value("command", "") : "";
            nlohmann::json reply{{"ok", true}, {"status", DaemonService::requiresApproval}};
            if (command == "sm-register") {
                reply = {
                    {"ok", false}, {"error", "Operation not permitted"}, {"status", DaemonService::requiresApproval}};
            }
            const auto text = reply.dump() + "\n";
            [[maybe_unused]] const auto sent = ::send(client.get(), text.data(), text.size(), MSG_NOSIGNAL);
        }
    }

    std::filesystem::path path_;
    std::chrono::milliseconds delay_;
    FileDescriptor stop_;
    FileDescriptor listener_;
    std::jthread thread_;
};

// The daemon is never reached: only what the loop does is timed.
class UnreachableLight final : public LightService {
public:
    Task<Expected<LightState, HelperError>> state() override { co_return unexpected(HelperError{"unreachable"}); }
    Task<Expected<void, HelperError>> setLight(LightState) override {
        co_return unexpected(HelperError{"unreachable"});
    }
    Task<Expected<std::string, HelperError>> version() override { co_return unexpected(HelperError{"unreachable"}); }
    Task<Expected<void, HelperError>> resetLogoTables() override { co_return unexpected(HelperError{"unreachable"}); }
};

class NoTables final : public LogoBrightnessBackend {
public:
    std::optional<BrightnessTable> copyProperty(std::string_view) override { return std::nullopt; }
    bool setProperty(const BrightnessTable&, std::string_view) override { return false; }
    std::optional<float> displayBrightness() override { return std::nullopt; }
    void setDisplayBrightness(float) override {}
    void nudge() override {}
};

struct Quiet final : SystemSettings, ControlCenter, ApplicationShell, PanelActions, PanelView {
    void openLoginItems() override {}
    void reloadControls(std::string_view) override {}
    void activate() override {}
    void terminate() override {}
    void showAboutPanel(const AboutPanelOptions&) override {}
    [[nodiscard]] bool isActive() const override { return false; }
    void openSettings() override {}
    void showMessageWindow() override {}
    void showAboutPanel() override {}
    void render(const PanelState& state, double, const std::string&) override { shown = state; }
    void dismiss() override {}
    PanelState shown;
};

template <typename F>
double milliseconds(F&& call) {
    const auto start = Clock::now();
    call();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Busy {
    double redraw = 0;
    double poll = 0;
    double registering = 0;
};

Task<void> registerHelper(LightController& controller, bool& done) {
    co_await controller.registerHelper();
    done = true;
}

// The longest each piece of work held the loop, with launchd answering `delay` late.
Busy measure(const VmacPaths& paths, const std::filesystem::path& bundle, std::chrono::milliseconds delay) {
    const LaunchdStandIn launchd(paths, delay);
    PollRunLoop loop;
    Quiet quiet;
    VirtualDaemonService service(paths, bundle, std::string(kHelperPlistName), loop);
    DaemonRegistration registration(service, quiet, loop);
    UnreachableLight light;
    testing::MemoryDefaultsProvider defaults;
    LogoBrightnessController brightness(std::make_unique<NoTables>(), defaults, Logger());
    struct Environment final : ProcessEnvironment {
        std::string bundlePath() const override { return "/Applications/Lidora.app"; }
        PreferenceDictionary bundleInfo() const override { return {}; }
        std::string operatingSystemVersionString() const override { return {}; }
    } environment;
    auto controller = std::make_shared<LightController>(
        HardwareSupport::supported, "Mac17,12", std::nullopt, light, registration, [] {}, Logger(), loop, environment);
    controller->setPhase(Phase::needsApproval());
    PanelPresenter presenter(PanelParts{.loop = loop,
                                        .controller = controller,
                                        .registration = registration,
                                        .defaults = defaults,
                                        .brightness = brightness,
                                        .controls = quiet,
                                        .application = quiet,
                                        .actions = quiet});
    presenter.attach(&quiet);
    ApprovalWatch approval(loop, registration, [] {});

    Busy busy;
    // A registration goes to launchd and stays in flight while the rest is timed.
    bool registered = false;
    std::optional<testing::StartedTask> registering;
    busy.registering =
        milliseconds([&] { registering.emplace(testing::start(registerHelper(*controller, registered))); });
    for (int i = 0; i < std::max(kRedraws, kPolls); ++i) {
        if (i < kRedraws) {
            busy.redraw = std::max(busy.redraw, milliseconds([&] { presenter.update(); }));
        }
        if (i < kPolls) {
            busy.poll = std::max(busy.poll, milliseconds([&] { approval.poll(); }));
        }
    }
    if (!std::holds_alternative<PanelState::NeedsApproval>(quiet.shown.status)) {
        throw std::runtime_error("the panel does not show the pending approval");
    }
    const auto deadline = loop.now() + delay + 5s;
    while (!registered && loop.now() < deadline) {
        loop.runUntil(std::min(deadline, loop.now() + 50ms));
    }
    if (!registered || registration.status() != HelperStatus::requiresApproval) {
        throw std::runtime_error("the registration did not come back from launchd");
    }
    return busy;
}

}  // namespace

int main() {
    testing::VirtualMac mac(BENCH_BIN_DIR);
    const VmacPaths paths(mac.root());
    const auto bundle = mac.installBundle(LIDORA_BUNDLE);
    const auto plist = daemonPlistPath(std::filesystem::weakly_canonical(bundle), kHelperPlistName);
    // Registered and awaiting approval, as after the app's first launch.
    const auto recorded = ServiceRegistry::of(paths).update([&](ServiceRecords& records) {
        records.registrations.push_back({"com.zelquin.lidora.helper", plist, std::filesystem::weakly_canonical(bundle),
                                         "com.zelquin.lidora", RegistrationState::requiresApproval});
        return true;
    });
    if (!recorded) {
        std::fprintf(stderr, "bench-main-loop: %s\n", recorded.error().c_str());
        return 1;
    }
    try {
        const auto slow = measure(paths, bundle, 1000ms);
        const auto quick = measure(paths, bundle, 0ms);
        std::printf("longest time on the loop, of %d redraws, %d polls and 1 registration:\n", kRedraws, kPolls);
        for (const auto& [name, busy] :
             {std::pair{"launchd answering after 1 s", slow}, std::pair{"launchd answering at once", quick}}) {
            std::printf("%-28s panel redraw %.1f us, approval poll %.1f us, starting a registration %.1f us\n", name,
                        busy.redraw * 1000, busy.poll * 1000, busy.registering * 1000);
        }
        std::printf("ratio register_busy_over_5ms = %.4f (goal <= 1.0)\n", slow.registering / kBudgetMs);
        std::printf("ratio approval_poll_busy_over_5ms = %.4f (goal <= 1.0)\n", slow.poll / kBudgetMs);
        std::printf("ratio panel_redraw_busy_over_5ms = %.4f (goal <= 1.0)\n", slow.redraw / kBudgetMs);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench-main-loop: %s\n", error.what());
        return 1;
    }
    return 0;
}
