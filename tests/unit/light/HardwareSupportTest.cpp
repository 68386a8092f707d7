#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "light/HardwareSupport.h"

namespace lidora {
namespace {

// Answers "hw.model" with fixed bytes, copying as many as the buffer takes.
class FakeSystemControl final : public SystemControl {
public:
    [[nodiscard]] std::optional<std::size_t> valueSize(const std::string& name) const override {
        return name == "hw.model" ? size : std::nullopt;
    }
    bool readValue(const std::string& name, std::span<unsigned char> buffer) const override {
        bufferSizes.push_back(buffer.size());
        if (name != "hw.model" || !readable) {
            return false;
        }
        std::memcpy(buffer.data(), bytes.data(), std::min(buffer.size(), bytes.size()));
        return true;
    }

    std::optional<std::size_t> size;
    std::string bytes;
    bool readable = true;
    mutable std::vector<std::size_t> bufferSizes;
};

std::string readModel(std::optional<std::size_t> size, std::string bytes, bool readable = true) {
    FakeSystemControl control;
    control.size = size;
    control.bytes = std::move(bytes);
    control.readable = readable;
    return readModelIdentifier(control);
}

TEST(HardwareSupport, ClassifiesExactlyAndLeavesStrangersUnknown) {
    EXPECT_EQ(classifyModel("Mac17,12"), HardwareSupport::supported);
    EXPECT_EQ(classifyModel("Mac15,3"), HardwareSupport::unsupported);
    EXPECT_EQ(classifyModel("Mac17,14"), HardwareSupport::unknown);
    EXPECT_EQ(classifyModel("Mac18,1"), HardwareSupport::unknown);
    EXPECT_EQ(classifyModel("MacBookPro18,3"), HardwareSupport::unsupported);
    EXPECT_EQ(classifyModel("MacBookAir10,1"), HardwareSupport::unsupported);
    EXPECT_EQ(classifyModel("VirtualMac2,1"), HardwareSupport::unsupported);
    EXPECT_EQ(classifyModel("mac17,10"), HardwareSupport::unknown);
    EXPECT_EQ(classifyModel("Mac17,10 "), HardwareSupport::unknown);
    EXPECT_EQ(classifyModel(""), HardwareSupport::unknown);
    EXPECT_EQ(hardwareSupportName(HardwareSupport::unsupported), "unsupported");
}

TEST(HardwareSupport, ReadsTheModelUpToItsFirstZeroByte) {
    EXPECT_EQ(readModel(9, std::string("Mac17,10\0", 9)), "Mac17,10");
    EXPECT_EQ(readModel(12, std::string("Mac17,10\0xyz", 12)), "Mac17,10");
    EXPECT_EQ(readModel(8, "Mac17,10"), "Mac17,10") << "no zero byte: the whole buffer";
    EXPECT_EQ(readModel(5, std::string("Mac\xff\0", 5)), "Mac\xef\xbf\xbd") << "invalid UTF-8 is replaced";

    FakeSystemControl control;
    control.size = 0;
    control.bytes = "M";
    EXPECT_EQ(readModelIdentifier(control), "M");
    control.size = 1;
    EXPECT_EQ(readModelIdentifier(control), "M");
    EXPECT_EQ(control.bufferSizes, (std::vector<std::size_t>{1, 1})) << "never an empty buffer";
}

TEST(HardwareSupport, FailingCallsLeaveTheModelEmpty) {
    EXPECT_EQ(readModel(std::nullopt, "Mac17,10"), "");
    EXPECT_EQ(readModel(9, "Mac17,10", false), "");
}

}  // namespace
}  // namespace lidora
