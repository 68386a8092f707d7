#include <gtest/gtest.h>

#include <fstream>
#include <thread>
#include <vector>

#include "platform/log/LogServer.h"
#include "platform/log/UnifiedLogStore.h"
#include "tests/support/TempDir.h"

namespace lidora::vmac {
namespace {

TEST(UnifiedLogStore, RoundTripsRecordsAndSkipsTornOrForeignLines) {
    testing::TempDir dir;
    const UnifiedLogStore store(dir.path() / "var" / "db" / "diagnostics" / "unified.jsonl");
    StoredLogRecord first{1, 2, 0, "proc", "com.zelquin.lidora", "app", LogLevel::Error, "bad \xff byte"};
    ASSERT_TRUE(store.append(first));
    {
        std::ofstream out(store.file(), std::ios::app);
        out << "{\"time\": 3, \"pid\":\n";  // torn
        out << "[1,2,3]\n";                 // foreign
    }
    ASSERT_TRUE(store.append(StoredLogRecord{5, 6, 0, "p", "s", "c", LogLevel::Fault, "last"}));
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
                ASSERT_TRUE(store.append(StoredLogRecord{i, t, 0, "w", "s", "c", LogLevel::Default,
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

// Only the log service writes here; what an earlier version or another user
// left in the way is refused or made private, never followed.
TEST(UnifiedLogStore, RefusesSymlinksAndFixesFoldersLeftWritable) {
    testing::TempDir dir;
    const auto target = dir.path() / "elsewhere";
    std::ofstream(target) << "keep\n";
    std::filesystem::create_symlink(target, dir.path() / "uid-0.jsonl");
    EXPECT_FALSE(UnifiedLogStore(dir.path() / "uid-0.jsonl").append(StoredLogRecord{}));
    EXPECT_EQ(std::filesystem::file_size(target), 5U);

    const auto open = dir.path() / "open";
    std::filesystem::create_directory(open);
    std::filesystem::permissions(open, std::filesystem::perms::all | std::filesystem::perms::sticky_bit);
    ASSERT_TRUE(ensureOwnFolder(open));
    EXPECT_EQ(std::filesystem::status(open).permissions() & std::filesystem::perms::mask,
              static_cast<std::filesystem::perms>(0755));
    std::filesystem::create_directory_symlink(open, dir.path() / "link");
    EXPECT_FALSE(ensureOwnFolder(dir.path() / "link"));
    EXPECT_TRUE(ensureOwnFolder(dir.path() / "new" / "folder"));
}

}  // namespace
}  // namespace lidora::vmac
