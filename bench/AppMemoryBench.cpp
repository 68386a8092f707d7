// The app's resident memory once started, on a temporary virtual Mac, against
// an empty Qt tray application started the same way in the same run.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/VirtualMac.h"

using namespace lidora::testing;
using namespace std::chrono_literals;

namespace {

constexpr int kRuns = 3;
constexpr auto kSettle = 3s;

long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// Starts `program` headless on the virtual Mac, lets it settle and reads its
// resident set.
long measure(const VirtualMac& mac, const std::string& program) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("VMAC_ROOT", mac.root().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::execl(program.c_str(), program.c_str(), nullptr);
        ::_exit(127);
    }
    std::this_thread::sleep_for(kSettle);
    const long kib = residentKiB(child);
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    return kib;
}

long median(std::vector<long> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    VirtualMac mac(BIN_DIR);
    mac.boot();
    const auto installed = mac.vmac({"install", LIDORA_BUNDLE});
    if (installed.status != 0) {
        std::fprintf(stderr, "cannot install the app: %s\n", installed.err.c_str());
        return 1;
    }
    const std::string app = (mac.root() / "Applications" / "Lidora.app" / "Contents" / "MacOS" / "Lidora").string();
    const std::string baseline = std::string(BIN_DIR) + "/bench-empty-tray";
    std::vector<long> apps;
    std::vector<long> baselines;
    for (int run = 0; run < kRuns; ++run) {
        apps.push_back(measure(mac, app));
        baselines.push_back(measure(mac, baseline));
    }
    const long appKiB = median(apps);
    const long baseKiB = median(baselines);
    if (appKiB <= 0 || baseKiB <= 0) {
        std::fprintf(stderr, "could not read the resident memory\n");
        return 1;
    }
    std::printf("app resident after start: %ld KiB (median of %d)\n", appKiB, kRuns);
    std::printf("empty Qt tray app:        %ld KiB\n", baseKiB);
    std::printf("ratio app_memory = %.2f (goal <= 1.3)\n", static_cast<double>(appKiB) / static_cast<double>(baseKiB));
    return 0;
}
