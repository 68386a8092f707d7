#include <gtest/gtest.h>

#include "platform/displays/DisplayRecords.h"
#include "platform/displays/VirtualDisplayList.h"
#include "tests/support/TempDir.h"

namespace lidora::vmac {
namespace {

TEST(DisplayRecordsTest, RoundTripsAndRefusesImpossibleDisplays) {
    DisplayRecords records;
    records.displays.push_back({7, false, 0.25});
    records.ambientLux = 12.5;
    EXPECT_EQ(*decodeDisplayRecords(encodeDisplayRecords(records)), records);

    for (
        const auto* refused : {
            R"({"displays": [{"id": 0, "builtIn": true, "brightness": 0.5}], "ambientLux": 1})",
            R"({"displays": [{"id": 1, "builtIn": true, "brightness": 1.5}], "ambientLux": 1})",
            R"({"displays": [{"id": 1, "builtIn": true, "brightness": 0.5}, {"id": 1, "builtIn": false, "brightness": 0.5}], "ambientLux": 1})",
            R"({"displays": [{"id": 4294967296, "builtIn": true, "brightness": 0.5}], "ambientLux": 1})",
            R"({"displays": [{"id": -1, "builtIn": true, "brightness": 0.5}], "ambientLux": 1})",
            R"({"displays": [{"id": 1, "brightness": 0.5}], "ambientLux": 1})",
            R"({"displays": [], "ambientLux": -1})",
            R"({"displays": []})",
            "[]",
            "not json",
        }) {
        EXPECT_FALSE(decodeDisplayRecords(refused)) << refused;
    }
}

TEST(DisplayRecordsTest, DisplayListFollowsTheRecordAndDefaultsToOneBuiltInDisplay) {
    const testing::TempDir root;
    const VmacPaths paths(root.path());
    const VirtualDisplayList list(paths);
    EXPECT_EQ(*list.onlineDisplays(kMaxOnlineDisplays), std::vector<DisplayID>{kDefaultBuiltInDisplay});
    EXPECT_EQ(builtInDisplayID(list), kDefaultBuiltInDisplay);

    auto record = displaysRecord(paths);
    ASSERT_TRUE(record.update([](DisplayRecords& records) {
        records.displays = {{9, false, 0.1}, {4, true, 0.9}, {5, true, 0.2}};
        return true;
    }));
    EXPECT_EQ(*list.onlineDisplays(2), (std::vector<DisplayID>{9, 4}));
    EXPECT_EQ(builtInDisplayID(list), 4U);
    EXPECT_FALSE(list.isBuiltin(9));
    EXPECT_FALSE(list.isBuiltin(3));

    ASSERT_TRUE(record.update([](DisplayRecords& records) {
        records.displays = {{9, false, 0.1}};
        return true;
    }));
    EXPECT_EQ(builtInDisplayID(list), std::nullopt);
}

}  // namespace
}  // namespace lidora::vmac
