// vmac pasteboard and vmac trash: what one process leaves, the next reads.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tests/support/Files.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;

namespace lidora {
namespace {

class PasteboardTrashCommand : public ::testing::Test {
protected:
    testing::ProcessResult vmac(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), VMAC_BIN);
        return testing::runProcess(arguments, {{"VMAC_ROOT", root.path().string()}});
    }
    testing::TempDir root;
};

TEST_F(PasteboardTrashCommand, PasteboardPrintsExactlyWhatAnEarlierProcessPutOn) {
    EXPECT_EQ(vmac({"pasteboard"}).out, "");
    ASSERT_EQ(vmac({"pasteboard", "set", "Lidora 1.0.3\nLogo brightness: unavailable"}).status, 0);
    EXPECT_EQ(vmac({"pasteboard"}).out, "Lidora 1.0.3\nLogo brightness: unavailable");
    const auto refused = vmac({"pasteboard", "set", std::string("caf\xe9", 4)});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(vmac({"pasteboard"}).out, "Lidora 1.0.3\nLogo brightness: unavailable") << "refused text lost the old";
    EXPECT_EQ(vmac({"pasteboard", "clear"}).status, 0);
    EXPECT_EQ(vmac({"pasteboard"}).out, "");
}

TEST_F(PasteboardTrashCommand, TrashListsWhatWasMovedInOneNameALine) {
    const auto app = root.path() / "Applications" / "Lidora.app";
    for (const auto* marker : {"first", "second"}) {
        std::filesystem::create_directories(app);
        testing::writeFile(app / "marker", marker);
        const auto moved = vmac({"trash", "move", app.string()});
        ASSERT_EQ(moved.status, 0) << moved.err;
    }
    const auto listed = vmac({"trash"}).out;
    EXPECT_TRUE(std::regex_match(listed, std::regex("Lidora [0-9]+\\.[0-9]{2}\\.[0-9]{2} [AP]M\\.app\nLidora\\.app\n")))
        << listed;
    const auto missing = vmac({"trash", "move", app.string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.err,
                HasSubstr("\u201cLidora.app\u201d couldn\u2019t be moved to the Trash because it doesn\u2019t"));
}

}  // namespace
}  // namespace lidora
