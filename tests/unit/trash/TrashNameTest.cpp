#include <gtest/gtest.h>

#include "core/text/UnicodeText.h"
#include "platform/trash/TrashName.h"

namespace lidora::testing {
namespace {

std::tm at(int hour, int minute, int second) {
    std::tm time{};
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return time;
}

struct NameCase {
    std::string name;
    std::tm time;
    unsigned attempt;
    std::string expected;
};

TEST(TrashNameTest, AClashGetsTheTimeOfTheMoveBeforeTheExtensionAsFinderDoes) {
    const std::vector<NameCase> cases = {
        {"Lidora.app", at(16, 42, 7), 0, "Lidora.app"},
        {"Lidora.app", at(16, 42, 7), 1, "Lidora 4.42.07 PM.app"},
        {"Lidora.app", at(16, 42, 7), 2, "Lidora 4.42.07 PM 2.app"},
        {"Lidora.app", at(16, 42, 7), 3, "Lidora 4.42.07 PM 3.app"},
        {"notes", at(0, 5, 9), 1, "notes 12.05.09 AM"},
        {"notes", at(12, 0, 0), 1, "notes 12.00.00 PM"},
        {"notes", at(11, 59, 59), 1, "notes 11.59.59 AM"},
        {"archive.tar.gz", at(9, 30, 0), 1, "archive.tar 9.30.00 AM.gz"},
        {".hidden", at(9, 30, 0), 1, ".hidden 9.30.00 AM"},
        {"trailing.", at(9, 30, 0), 1, "trailing. 9.30.00 AM"},
        {"Version 1.2 beta", at(9, 30, 0), 1, "Version 1.2 beta 9.30.00 AM"},
        {"Caf\u00e9 \U0001F600.txt", at(21, 1, 2), 1, "Caf\u00e9 \U0001F600 9.01.02 PM.txt"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vmac::trashName(c.name, c.time, c.attempt), c.expected) << c.name << " #" << c.attempt;
    }
}

TEST(TrashNameTest, ALongNameIsShortenedAtACharacterToFitWithItsExtension) {
    // 2-byte characters, so a cut at an odd byte would split one.
    std::string stem;
    for (int i = 0; i < 126; ++i) {
        stem += "\u00e9";
    }
    for (const auto& name : {stem + ".app", stem + "x.app", stem + "." + std::string(250, 'e')}) {
        const auto renamed = vmac::trashName(name, at(16, 42, 7), 12);
        EXPECT_LE(renamed.size(), 255U) << name;
        EXPECT_NE(renamed.find(" 4.42.07 PM 12"), std::string::npos) << renamed;
        EXPECT_EQ(decodingUtf8Lossily(renamed), renamed) << "a character was split";
    }
    EXPECT_TRUE(vmac::trashName(stem + ".app", at(16, 42, 7), 1).ends_with(" 4.42.07 PM.app"));
}

}  // namespace
}  // namespace lidora::testing
