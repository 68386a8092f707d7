// Times `vmac shortcuts run "Turn Apple Logo Light On or Off" --state off`
// end to end, from starting vmac to its exit, with the app running and its
// helper approved, against the least a program can do for the same effect:
// a fresh process that makes one bare SetLightOn call to the helper.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <vector>

#include "core/helper/LogoHelperProtocol.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/xpc/MachService.h"
#include "platform/xpc/XpcClientConnection.h"
#include "tests/support/VirtualMac.h"

using namespace lidora;
using namespace lidora::vmac;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRuns = 40;
constexpr int kWarmUp = 3;

// The baseline, run as a process of its own: one call on a new connection.
int bareCall() {
    PollRunLoop loop;
    VirtualXpcConnector connector(loop, machServiceSocket(VmacPaths::fromEnvironment(), "").parent_path());
    auto connection = connector.connectToMachService(std::string(kHelperMachService), XpcConnectionOptions::privileged);
    connection->setRemoteObjectInterface(XpcInterface::of<LogoHelperProtocol>());
    connection->resume();
    std::optional<std::string> failure;
    bool answered = false;
    auto proxy = std::dynamic_pointer_cast<LogoHelperProtocol>(connection->remoteObjectProxy([&](const XpcError& e) {
        failure = e.localizedDescription;
        loop.stop();
    }));
    proxy->setLightOn(false, [&](std::optional<std::string> error) {
        failure = std::move(error);
        answered = true;
        loop.stop();
    });
    auto limit = loop.scheduleAfter(std::chrono::seconds(5), [&] { loop.stop(); });
    loop.run();
    connection->invalidate();
    if (!answered || failure) {
        std::fprintf(stderr, "bare call failed: %s\n", failure.value_or("no answer").c_str());
        return 1;
    }
    return 0;
}

double timed(const testing::VirtualMac& mac, std::vector<std::string> argv) {
    const auto start = Clock::now();
    const auto result = mac.run(std::move(argv));
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (result.status != 0) {
        throw std::runtime_error("failed: " + result.out + result.err);
    }
    return ms;
}

struct Summary {
    double median;
    double p95;
};

Summary summarize(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[std::min(samples.size() - 1, samples.size() * 95 / 100)]};
}

bool logShows(const testing::VirtualMac& mac, const std::string& text) {
    return testing::VirtualMac::waitFor(
        [&] {
            return mac.vmac({"log", "show"}).out.find(text) != std::string::npos;
        },
        std::chrono::seconds(20));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--bare-call") {
        return bareCall();
    }
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    const auto bin = self.parent_path();
    testing::VirtualMac mac(bin);
    try {
        mac.boot();
        if (const auto installed = mac.vmac({"install", (bin.parent_path() / "Lidora.app").string()});
            installed.status != 0) {
            throw std::runtime_error(installed.err);
        }
        // The baseline is admitted by the helper as the app is.
        const auto bare = mac.signedCopy(self, "bare-helper-call", "com.zelquin.lidora", "K7QX4N2M9T");
        if (mac.vmac({"open", "Lidora"}).status != 0 || !logShows(mac, "Phase loading -> needsApproval") ||
            mac.vmac({"approve", "com.zelquin.lidora.helper"}).status != 0 || !logShows(mac, "-> ready(")) {
            std::fprintf(stderr, "bench-shortcuts-run: cannot set up the virtual Mac\n");
            return 1;
        }
        const std::vector<std::string> shortcut{(bin / "vmac").string(),           "shortcuts", "run",
                                                "Turn Apple Logo Light On or Off", "--state",   "off"};
        const std::vector<std::string> call{bare.string(), "--bare-call"};
        for (int i = 0; i < kWarmUp; ++i) {
            timed(mac, shortcut);
            timed(mac, call);
        }
        std::vector<double> shortcuts;
        std::vector<double> calls;
        // Interleaved, so that drift of the machine's speed hits both alike.
        for (int i = 0; i < kRuns; ++i) {
            shortcuts.push_back(timed(mac, shortcut));
            calls.push_back(timed(mac, call));
        }
        const auto s = summarize(shortcuts);
        const auto c = summarize(calls);
        std::printf("vmac shortcuts run, light off, end to end: median %.2f ms, p95 %.2f ms (%d runs)\n", s.median,
                    s.p95, kRuns);
        std::printf("bare helper call in a fresh process:       median %.2f ms, p95 %.2f ms (%d runs)\n", c.median,
                    c.p95, kRuns);
        std::printf("ratio shortcuts_run_vs_bare_helper_call = %.2f (goal <= 3.0)\n", s.median / c.median);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench-shortcuts-run: %s\n", error.what());
        return 1;
    }
    return 0;
}
