// R6: the daemon killed in the middle of a call. The app's call ends within
// its five seconds with the text it shows for an unreachable helper, the
// next call works, and the app's run loop is never held up meanwhile.
#include <signal.h>

#include <random>
#include <sstream>
#include <thread>

#include "tests/stress/Parts.h"
#include "tests/stress/StressMac.h"

namespace lidora::testing {

void helperKillPart(const RunSize& size, Report& report) {
    StressMac stress;
    const auto app = stress.client("app");
    // Each command the daemon runs takes a while, so there is a middle to kill it in.
    stress.slowTools(std::chrono::milliseconds(300));
    const int kills = size.pick(50, 5);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> delayMs(0, 250);
    int killed = 0;
    int inTime = 0;
    int rightText = 0;
    int nextWorks = 0;
    long worstBlockMs = 0;
    for (int k = 0; k < kills; ++k) {
        stress.clearToolStarted();
        ProcessResult result;
        std::thread caller([&] { result = stress.mac.run({app.string(), "call", "get-state", "2", "--lateness"}); });
        const bool inCall = VirtualMac::waitFor([&] { return stress.toolStarted(); }, std::chrono::seconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        const auto pid = stress.daemonPid();
        if (inCall && pid && ::kill(*pid, SIGKILL) == 0) {
            ++killed;
        }
        caller.join();

        std::istringstream lines(result.out);
        std::string first;
        std::string second;
        std::string lateness;
        std::getline(lines, first);
        std::getline(lines, second);
        std::getline(lines, lateness);
        long ms = 0;
        std::string text;
        if (std::istringstream fields(first); first.rfind("error ", 0) == 0) {
            std::string word;
            fields >> word >> ms;
            std::getline(fields >> std::ws, text);
            inTime += ms <= 5000 ? 1 : 0;
            rightText += text.rfind(kUnreachable, 0) == 0 ? 1 : 0;
        }
        if (text.rfind(kUnreachable, 0) != 0 && k < 3) {
            report.note("R6 first call: " + first);
        }
        nextWorks += second.rfind("ok ", 0) == 0 ? 1 : 0;
        if (lateness.rfind("lateness ", 0) == 0) {
            worstBlockMs = std::max(worstBlockMs, std::stol(lateness.substr(9)));
        } else {
            worstBlockMs = std::max(worstBlockMs, 100'000L);
        }
    }
    report.exactly("R6.killed_mid_call", killed, kills);
    report.exactly("R6.answered_within_5s", inTime, kills);
    report.exactly("R6.unreachable_text", rightText, kills);
    report.exactly("R6.next_call_works", nextWorks, kills);
    report.atMost("R6.main_loop_block_max_ms", static_cast<double>(worstBlockMs), 50, " ms");
}

}  // namespace lidora::testing
