#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/log/LogQuery.h"

namespace lidora::vmac {
namespace {

StoredLogRecord record(std::int64_t time, std::string category, std::string message,
                       LogLevel level = LogLevel::Default) {
    return StoredLogRecord{time, 10, 0, "helper", "com.zelquin.lidora", std::move(category), level, std::move(message)};
}

TEST(LogQuery, ParsesFiltersCountsAndTimeWindows) {
    const auto query = parseLogQuery({"--subsystem", "com.zelquin.lidora", "--category", "helper", "--last", "3",
                                      "--level", "Fault", "--style", "json"});
    ASSERT_TRUE(query) << query.error();
    EXPECT_EQ(query->subsystem, "com.zelquin.lidora");
    EXPECT_EQ(query->category, "helper");
    EXPECT_EQ(query->lastCount, 3U);
    EXPECT_EQ(query->level, LogLevel::Fault);
    EXPECT_TRUE(query->json);
    EXPECT_EQ(parseLogQuery({"--last", "5m"})->lastMicroseconds, 300'000'000);
    EXPECT_EQ(parseLogQuery({"--last", "2h"})->lastMicroseconds, 7'200'000'000LL);
    EXPECT_EQ(parseLogQuery({"--uid", "65534"})->uid, 65534);
}

TEST(LogQuery, RejectsBadArgumentsWithTheirName) {
    for (const auto& bad : std::vector<std::vector<std::string>>{{"--last"},
                                                                 {"--last", "-1"},
                                                                 {"--last", "x"},
                                                                 {"--last", "5y"},
                                                                 {"--last", "99999999999d"},
                                                                 {"--level", "Loud"},
                                                                 {"--uid", "root"},
                                                                 {"--style", "xml"},
                                                                 {"--bogus", "1"},
                                                                 {"stray"}}) {
        const auto query = parseLogQuery(bad);
        EXPECT_FALSE(query) << bad.front();
    }
    EXPECT_NE(parseLogQuery({"--level", "Loud"}).error().find("Loud"), std::string::npos);
}

TEST(LogQuery, SelectsByFilterThenKeepsTheNewest) {
    std::vector<StoredLogRecord> records = {record(1, "helper", "a"), record(2, "app", "b"), record(3, "helper", "c"),
                                            record(4, "helper", "d", LogLevel::Error)};
    LogQuery query;
    query.category = "helper";
    query.lastCount = 2;
    auto selected = selectRecords(records, query, 10);
    ASSERT_EQ(selected.size(), 2U);
    EXPECT_EQ(selected[0].message, "c");
    EXPECT_EQ(selected[1].message, "d");

    LogQuery window;
    window.lastMicroseconds = 7;
    EXPECT_EQ(selectRecords(records, window, 10).size(), 2U);
    LogQuery errors;
    errors.level = LogLevel::Error;
    EXPECT_EQ(selectRecords(records, errors, 10).front().message, "d");
}

TEST(LogQuery, FormatsLikeTheSystemLog) {
    const auto line = formatLogRecord(record(1'700'000'000'123'456, "helper", "Helper idle; exiting"));
    EXPECT_EQ(
        line,
        "2023-11-14 22:13:20.123456+0000 Default 10     helper: [com.zelquin.lidora:helper] Helper idle; exiting");
    // A message cannot pass off a line of its own as another record.
    EXPECT_THAT(formatLogRecord(record(1, "helper", "a\n2023-11-14 22:13:20.123456+0000 Fault 1 x\r\x1b")),
                ::testing::EndsWith("] a\\n2023-11-14 22:13:20.123456+0000 Fault 1 x\\r\\x1b"));
}

}  // namespace
}  // namespace lidora::vmac
