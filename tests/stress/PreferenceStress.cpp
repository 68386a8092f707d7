// R3: the preference store under concurrent writers, and under writers
// killed in the middle of a large write.
#include <sys/wait.h>

#include <atomic>
#include <random>
#include <thread>

#include "platform/prefs/PreferenceStore.h"
#include "tests/stress/Parts.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/Spawned.h"
#include "tests/support/TempDir.h"

namespace lidora::testing {

namespace {

constexpr const char* kDomain = "com.example.stress";

class Store {
public:
    [[nodiscard]] ProcessResult defaults(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), DEFAULTS_BIN);
        return runProcess(arguments, {{"VMAC_ROOT", root.path().string()}});
    }
    [[nodiscard]] std::unique_ptr<Spawned> start(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), DEFAULTS_BIN);
        return std::make_unique<Spawned>(arguments, std::vector<std::string>{"VMAC_ROOT=" + root.path().string()},
                                         true);
    }
    [[nodiscard]] Expected<PreferenceDictionary, std::string> load() const {
        const auto folder = root.path() / "var" / "root" / "Library" / "Preferences";
        auto domain = vmac::PreferenceDomain::open(vmac::PreferencesDirectory(folder), kDomain);
        if (!domain) {
            return unexpected(domain.error());
        }
        return domain->load();
    }
    // Files other than the domain, its lock and at most one temporary.
    [[nodiscard]] int strayFiles() const {
        int files = 0;
        for (const auto& entry :
             std::filesystem::directory_iterator(root.path() / "var" / "root" / "Library" / "Preferences")) {
            files += entry.path().filename().string().find(".corrupt") != std::string::npos ? 100 : 1;
        }
        return std::max(0, files - 3);
    }

    TempDir root;
};

void concurrentWriters(const RunSize& size, Report& report) {
    const Store store;
    constexpr int kProcesses = 3;
    const int writesEach = size.pick(1000, 100);
    // Each writer is one process making its writes one after another.
    std::vector<std::thread> writers;
    std::atomic<int> failed = 0;
    for (int p = 0; p < kProcesses; ++p) {
        writers.emplace_back([&, p] {
            std::string script = "for i in $(seq 0 " + std::to_string(writesEach - 1) + "); do \"$0\" write " +
                                 kDomain + " p" + std::to_string(p) + "-$i -int $i || exit 1; done";
            const auto result =
                runProcess({"/bin/sh", "-c", script, DEFAULTS_BIN}, {{"VMAC_ROOT", store.root.path().string()}});
            failed += result.status == 0 ? 0 : 1;
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    const auto values = store.load();
    long lost = kProcesses * writesEach;
    if (values) {
        lost = 0;
        for (int p = 0; p < kProcesses; ++p) {
            for (int i = 0; i < writesEach; ++i) {
                const auto found = values->find("p" + std::to_string(p) + "-" + std::to_string(i));
                lost += found == values->end() || !(found->second == PreferenceValue(i)) ? 1 : 0;
            }
        }
    }
    report.exactly("R3.writer_failures", failed, 0);
    report.exactly("R3.keys_lost", lost, 0);
}

void killedWriters(const RunSize& size, Report& report) {
    const Store store;
    const int kills = size.pick(100, 10);
    constexpr int kItems = 8;
    constexpr std::size_t kItemSize = 100'000;
    const auto bigWrite = [](int iteration) {
        std::vector<std::string> arguments{"write", kDomain, "table", "-array"};
        for (int i = 0; i < kItems; ++i) {
            arguments.push_back(std::to_string(iteration) + std::string(kItemSize, static_cast<char>('a' + i)));
        }
        return arguments;
    };
    // How long one uninterrupted large write takes, so the kills spread over it.
    const auto started = std::chrono::steady_clock::now();
    if (store.defaults(bigWrite(-1)).status != 0) {
        report.problem("R3", "a large write failed");
        return;
    }
    const auto fullRun =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);

    std::mt19937 random(20261207);
    std::uniform_int_distribution<std::int64_t> delayUs(0, fullRun.count() * 3 / 2);
    int unreadable = 0;
    int earlierLost = 0;
    int interrupted = 0;
    for (int k = 0; k < kills; ++k) {
        // A key written before the writer that is killed.
        if (store.defaults({"write", kDomain, "earlier-" + std::to_string(k), "-int", std::to_string(k)}).status != 0) {
            ++earlierLost;
        }
        const auto writer = store.start(bigWrite(k));
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        const int status = writer->kill();
        interrupted += WIFSIGNALED(status) ? 1 : 0;
        const auto values = store.load();
        if (!values || store.strayFiles() > 0) {
            ++unreadable;
            continue;
        }
        for (int e = 0; e <= k; ++e) {
            const auto found = values->find("earlier-" + std::to_string(e));
            earlierLost += found == values->end() || !(found->second == PreferenceValue(e)) ? 1 : 0;
        }
    }
    report.exactly("R3.unreadable_after_kill", unreadable, 0);
    report.exactly("R3.earlier_keys_lost", earlierLost, 0);
    report.figure("R3.writes_interrupted", interrupted, "> 0 of " + std::to_string(kills), interrupted > 0);
}

}  // namespace

void preferencePart(const RunSize& size, Report& report) {
    concurrentWriters(size, report);
    killedWriters(size, report);
}

}  // namespace lidora::testing
