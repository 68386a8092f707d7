#include <gtest/gtest.h>

#include <fstream>
#include <thread>
#include <vector>

#include "platform/log/UnifiedLogSink.h"
#include "platform/log/UnifiedLogStore.h"
#include "tests/support/TempDir.h"

namespace lidora::vmac {
namespace {

TEST(UnifiedLogStore, RoundTripsRecordsAndSkipsTornOrForeignLines) {
    testing::TempDir dir;
    const UnifiedLogStore store(dir.path() / "var" / "db" / "diagnostics" / "unified.jsonl");
    StoredLogRecord first{1, 2, "proc", "com.zelquin.lidora", "app", LogLevel::Error, "bad \xff byte"};
    ASSERT_TRUE(store.append(first));
    {
        std::ofstream out(store.file(), std::ios::app);
        out << "{\"time\": 3, \"pid\":\n";  // torn
        out << "[1,2,3]\n";                 // foreign
    }
    ASSERT_TRUE(store.append(StoredLogRecord{5, 6, "p", "s", "c", LogLevel::Fault, "last"}));
    const auto records = store.readAll();
    ASSERT_EQ(records.size(), 2U);
    EXPECT_EQ(records[0].level, LogLevel::Error);
    EXPECT_EQ(records[0].message, "bad \xEF\xBF\xBD byte");
    EXPECT_EQ(records[1].message, "last");
}

TEST(UnifiedLogStore, ConcurrentWritersNeverInterleaveAndRotationKeepsRecentRecords) {
    testing::TempDir dir;
    const UnifiedLogStore store(dir.path() / "unified.jsonl", 64 * 1024);
    constexpr int kThreads = 4;
    constexpr int kEach = 400;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                ASSERT_TRUE(store.append(StoredLogRecord{i, t, "w", "s", "c", LogLevel::Default,
                                                         std::string(100, static_cast<char>('a' + t))}));
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    const auto records = store.readAll();
    // Rotation keeps one older file: fewer than all, but every line whole.
    EXPECT_LT(records.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_GT(records.size(), 64U * 1024U / 300U);
    for (const auto& r : records) {
        EXPECT_EQ(r.message, std::string(100, static_cast<char>('a' + r.pid)));
    }
    EXPECT_EQ(records.back().microsecondsSinceEpoch, kEach - 1);
}

TEST(UnifiedLogSink, StampsProcessAndKeepsRedactedText) {
    testing::TempDir dir;
    auto sink = std::make_shared<UnifiedLogSink>(UnifiedLogStore(dir.path() / "log.jsonl"), false);
    const Logger log(sink, "com.zelquin.lidora", "brightness");
    log.notice("level %{public}s text %s", std::string("0.5"), std::string("secret"));
    const auto records = UnifiedLogStore(dir.path() / "log.jsonl").readAll();
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(records[0].message, "level 0.5 text <private>");
    EXPECT_EQ(records[0].pid, ::getpid());
    EXPECT_FALSE(records[0].process.empty());
    EXPECT_GT(records[0].microsecondsSinceEpoch, 1'600'000'000'000'000LL);
}

}  // namespace
}  // namespace lidora::vmac
