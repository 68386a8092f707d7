// R5: the app killed at random moments of breathing, an On Air pass and a
// message. After its next start the logo is back on its original curve.
#include <signal.h>

#include <random>
#include <regex>
#include <thread>

#include "tests/stress/Parts.h"
#include "tests/stress/StressMac.h"

namespace lidora::testing {

namespace {

using namespace std::chrono_literals;

constexpr const char* kCamera = "FaceTime HD Camera";

class RunningApp {
public:
    explicit RunningApp(VirtualMac& mac) : mac_(mac) {}

    // Starts the app; right after a crash the bus may name the dead one as running for a moment.
    bool open() {
        std::smatch match;
        return VirtualMac::waitFor(
            [&] {
                const auto opened = mac_.vmac({"open", "Lidora"});
                if (!std::regex_search(opened.out, match, std::regex("started \\(pid ([0-9]+)\\)"))) {
                    return false;
                }
                pid_ = std::stoi(match[1]);
                return true;
            },
            5000ms);
    }
    void crash() const {
        ::kill(pid_, SIGKILL);
        VirtualMac::waitFor([&] { return !VirtualMac::isRunning(pid_); }, 5000ms);
    }
    [[nodiscard]] bool logShows(const std::string& text, std::chrono::milliseconds limit) const {
        return VirtualMac::waitFor(
            [&] {
                return mac_.vmac({"log", "show"}).out.find(text) != std::string::npos;
            },
            limit);
    }
    // The curve in effect, as `vmac logo` prints it.
    [[nodiscard]] std::string curve() const {
        const auto logo = mac_.vmac({"logo"}).out;
        std::smatch match;
        return std::regex_search(logo, match, std::regex("Curve \\(LEPWMBrightnessNitsMapping\\): (.*)\n"))
                   ? match[1].str()
                   : "";
    }

private:
    VirtualMac& mac_;
    pid_t pid_ = -1;
};

struct Effect {
    const char* name;
    std::vector<std::vector<std::string>> start;
    std::vector<std::vector<std::string>> stop;
};

const std::vector<Effect>& effects() {
    static const std::vector<Effect> list{
        {"breathing", {{"power", "ac"}, {"lock"}}, {{"unlock"}}},
        {"On Air", {{"camera", "start", kCamera}}, {{"camera", "stop", kCamera}}},
        {"message", {{"key", "shift+cmd+0"}, {"ui", "set", "Message", "SOS SOS"}, {"ui", "press", "Send"}}, {}},
    };
    return list;
}

}  // namespace

void crashRestorePart(const RunSize& size, Report& report) {
    VirtualMac mac(TEST_BIN_DIR);
    mac.boot();
    RunningApp app(mac);
    if (mac.vmac({"install", LIDORA_BUNDLE}).status != 0 || !app.open() ||
        !app.logShows("Phase loading -> needsApproval", 15000ms) || mac.vmac({"approve", kHelperLabel}).status != 0 ||
        !app.logShows("Phase needsApproval -> ready(on)", 15000ms)) {
        report.problem("R5", "the app did not start and get its daemon approved");
        return;
    }
    const auto original = app.curve();
    const int moments = size.pick(100, 10);
    std::mt19937 random(5);
    std::uniform_int_distribution<int> delayMs(0, 3000);
    int restored = 0;
    int disturbed = 0;
    for (int m = 0; m < moments; ++m) {
        const auto& effect = effects()[static_cast<std::size_t>(m) % effects().size()];
        for (const auto& command : effect.start) {
            // The message window takes a moment to open before it can be typed into.
            VirtualMac::waitFor([&] { return mac.vmac(command).status == 0; }, 5000ms);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        disturbed += app.curve() != original ? 1 : 0;
        app.crash();
        for (const auto& command : effect.stop) {
            mac.vmac(command);
        }
        if (app.open() && VirtualMac::waitFor([&] { return app.curve() == original; }, 10000ms)) {
            ++restored;
        } else {
            report.note(std::string("R5 after a crash during ") + effect.name + ": " + app.curve());
        }
    }
    report.figure("R5.moments", moments, std::to_string(moments), true);
    report.figure("R5.crashed_with_a_frame_shown", disturbed, "> 0", disturbed > 0);
    const double percent = 100.0 * restored / moments;
    report.figure("R5.original_curve_after_restart_pct", percent, "100 %", restored == moments);
}

}  // namespace lidora::testing
