#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "core/light/HardwareSupport.h"

namespace lidora {
namespace {

// Answers "hw.model" with fixed bytes, copying as many as the buffer takes.
class FakeSystemControl final : public SystemControl {
public:
    [[nodiscard]] std::optional<std::size_t> valueSize(const std::string& name) const override {
        return name == "hw.model" ? size : std::nullopt;
    }
    bool readValue(const std::string&, std::span<unsigned char> buffer) const override {
        bufferSizes.push_back(buffer.size());
        std::memcpy(buffer.data(), bytes.data(), std::min(buffer.size(), bytes.size()));
        return readable;
    }

    std::optional<std::size_t> size;
    std::string bytes;
    bool readable = true;
    mutable std::vector<std::size_t> bufferSizes;
};

TEST(HardwareSupport, ClassifiesExactlyAndLeavesStrangersUnknown) {
    const std::pair<const char*, HardwareSupport> cases[] = {
        {"Mac17,12", HardwareSupport::supported},         {"Mac15,3", HardwareSupport::unsupported},
        {"MacBookPro18,3", HardwareSupport::unsupported}, {"Mac18,1", HardwareSupport::unknown},
        {"mac17,10", HardwareSupport::unknown},           {"Mac17,10 ", HardwareSupport::unknown},
    };
    for (const auto& [model, support] : cases) {
        EXPECT_EQ(classifyModel(model), support) << model;
    }
}

TEST(HardwareSupport, ReadsTheModelUpToItsFirstZeroByteAndFailuresLeaveItEmpty) {
    const std::tuple<std::optional<std::size_t>, std::string, bool, std::string> cases[] = {
        {12, std::string("Mac17,10\0xyz", 12), true, "Mac17,10"},
        {8, "Mac17,10", true, "Mac17,10"},                          // no zero byte: the whole buffer
        {5, std::string("Mac\xff\0", 5), true, "Mac\xef\xbf\xbd"},  // invalid UTF-8 is replaced
        {0, "M", true, "M"},                                        // never an empty buffer
        {std::nullopt, "Mac17,10", true, ""},
        {9, "Mac17,10", false, ""},
    };
    for (const auto& [size, bytes, readable, model] : cases) {
        FakeSystemControl control;
        control.size = size;
        control.bytes = bytes;
        control.readable = readable;
        EXPECT_EQ(readModelIdentifier(control), model) << bytes;
        EXPECT_TRUE(std::ranges::all_of(control.bufferSizes, [](std::size_t n) { return n > 0; }));
    }
}

}  // namespace
}  // namespace lidora
