#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/prefs/PreferenceStore.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/Spawned.h"
#include "tests/support/TempDir.h"

namespace lidora {
namespace {

class DefaultsConcurrency : public ::testing::Test {
protected:
    [[nodiscard]] std::filesystem::path preferences() const {
        return root.path() / "var" / "root" / "Library" / "Preferences";
    }
    [[nodiscard]] vmac::PreferenceDomain domain(const std::string& name) const {
        return vmac::PreferenceDomain::open(vmac::PreferencesDirectory(preferences()), name).value();
    }
    // `defaults` with its output discarded.
    [[nodiscard]] std::unique_ptr<testing::Spawned> start(const std::vector<std::string>& arguments) const {
        std::vector<std::string> argv{DEFAULTS_BIN};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return std::make_unique<testing::Spawned>(argv, std::vector<std::string>{"VMAC_ROOT=" + root.path().string()},
                                                  true);
    }

    testing::TempDir root;
};

TEST_F(DefaultsConcurrency, ProcessesWritingDifferentKeysAtOnceLoseNone) {
    constexpr int kProcesses = 3;
    constexpr int kKeysEach = 50;
    std::vector<std::thread> writers;
    for (int p = 0; p < kProcesses; ++p) {
        writers.emplace_back([this, p] {
            for (int k = 0; k < kKeysEach; ++k) {
                const auto result =
                    testing::runProcess({DEFAULTS_BIN, "write", "com.example.shared",
                                         "p" + std::to_string(p) + "-" + std::to_string(k), "-int", std::to_string(k)},
                                        {{"VMAC_ROOT", root.path().string()}});
                EXPECT_EQ(result.status, 0) << result.err;
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    const auto values = domain("com.example.shared").load();
    ASSERT_TRUE(values) << values.error();
    ASSERT_EQ(values->size(), static_cast<std::size_t>(kProcesses * kKeysEach));
    for (int p = 0; p < kProcesses; ++p) {
        for (int k = 0; k < kKeysEach; ++k) {
            EXPECT_EQ(values->at("p" + std::to_string(p) + "-" + std::to_string(k)), PreferenceValue(k));
        }
    }
}

TEST_F(DefaultsConcurrency, WriterKilledAtAnyMomentLeavesTheOldOrTheNewValue) {
    constexpr int kIterations = 40;
    constexpr int kItems = 8;
    constexpr std::size_t kItemSize = 100'000;  // under the kernel's limit for one argument
    auto expected = [](int iteration) {
        PreferenceArray items;
        for (int i = 0; i < kItems; ++i) {
            items.emplace_back(std::to_string(iteration) + std::string(kItemSize, static_cast<char>('a' + i)));
        }
        return PreferenceValue(std::move(items));
    };
    ASSERT_EQ(testing::runProcess({DEFAULTS_BIN, "write", "com.example.big", "other", "kept"},
                                  {{"VMAC_ROOT", root.path().string()}})
                  .status,
              0);
    const auto reader = domain("com.example.big");

    auto arguments = [&](const PreferenceValue& value) {
        std::vector<std::string> list{"write", "com.example.big", "table", "-array"};
        for (const auto& item : *value.asArray()) {
            list.push_back(*item.asString());
        }
        return list;
    };
    // Kill moments spread over the whole run of one uninterrupted write; the
    // second such run is timed, as it also has the big value to read back.
    int status = 0;
    std::chrono::microseconds fullRun{};
    for (int run = -2; run < 0; ++run) {
        const auto started = std::chrono::steady_clock::now();
        const auto writer = start(arguments(expected(run)));
        ASSERT_GT(writer->pid(), 0);
        status = writer->wait();
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        fullRun = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
    }
    std::optional<PreferenceValue> current = expected(-1);

    std::mt19937 random(20240601);
    std::uniform_int_distribution<std::int64_t> delayUs(0, fullRun.count() * 2);
    int completed = 0;
    for (int iteration = 0; iteration < kIterations; ++iteration) {
        const PreferenceValue value = expected(iteration);
        const auto writer = start(arguments(value));
        ASSERT_GT(writer->pid(), 0);
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        status = writer->kill();
        ASSERT_NE(status, -1);
        completed += WIFEXITED(status) ? 1 : 0;

        const auto values = reader.load();
        ASSERT_TRUE(values) << values.error();
        ASSERT_EQ(values->count("other"), 1U) << "iteration " << iteration << ": the file did not stay readable";
        EXPECT_EQ(values->at("other"), PreferenceValue("kept"));
        const auto found = values->find("table");
        const std::optional<PreferenceValue> now =
            found == values->end() ? std::nullopt : std::optional<PreferenceValue>(found->second);
        EXPECT_TRUE(now == current || now == value) << "iteration " << iteration;
        current = now;
    }
    EXPECT_GT(completed, 0) << "no write ran to its end";
    EXPECT_LT(completed, kIterations) << "no write was interrupted";
    // Neither stray temporaries nor set-aside files pile up.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(preferences())) {
        ++files;
    }
    EXPECT_LE(files, 3U) << "domain, lock and at most one temporary";
}

}  // namespace
}  // namespace lidora
