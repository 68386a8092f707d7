// The element tree as it travels on the bus.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include "platform/bus/AccessibilityWire.h"
#include "platform/sdbus/SdBusPtr.h"

namespace lidora::vmac {
namespace {

struct Row {
    std::uint32_t depth;
    std::uint64_t id;
};

// A bus that is never connected, to build and read messages with.
class AccessibilityWire : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_), 0);
        sd_bus* raw = nullptr;
        ASSERT_GE(sd_bus_new(&raw), 0);
        bus_.reset(raw);
        ASSERT_GE(sd_bus_set_fd(bus_.get(), fds_[0], fds_[0]), 0);
        ASSERT_GE(sd_bus_start(bus_.get()), 0);
    }
    void TearDown() override { ::close(fds_[1]); }

    SdBusMessagePtr message(const std::function<int(sd_bus_message*)>& append) {
        sd_bus_message* raw = nullptr;
        EXPECT_GE(sd_bus_message_new_method_call(bus_.get(), &raw, "a.b", "/a", "a.b", "M"), 0);
        SdBusMessagePtr made(raw);
        EXPECT_GE(append(made.get()), 0);
        EXPECT_GE(sd_bus_message_seal(made.get(), ++cookie_, 0), 0);
        EXPECT_GE(sd_bus_message_rewind(made.get(), 1), 0);
        return made;
    }

    SdBusMessagePtr rows(const std::vector<Row>& list) {
        return message([&](sd_bus_message* m) {
            int r = sd_bus_message_open_container(m, SD_BUS_TYPE_ARRAY, "(utssbsbbbas)");
            for (const auto& row : list) {
                r = r < 0 ? r
                          : sd_bus_message_append(m, "(utssbsbbbas)", row.depth, row.id, "AXGroup", "", 0, "", 1, 0, 0,
                                                  0);
            }
            return r < 0 ? r : sd_bus_message_close_container(m);
        });
    }

    int fds_[2] = {-1, -1};
    SdBusPtr bus_;
    std::uint64_t cookie_ = 0;
};

TEST_F(AccessibilityWire, CarriesEveryAttributeAndTheShapeOfTheTree) {
    UiElement field;
    field.id = 22;
    field.role = "AXTextField";
    field.title = "Message";
    field.value = "SOS";
    field.focused = true;
    field.valueSettable = true;
    UiElement send;
    send.id = 26;
    send.role = "AXButton";
    send.title = "Send";
    send.enabled = false;
    send.actions = {"AXPress", "AXShowMenu"};
    UiElement empty;
    empty.id = 27;
    empty.role = "AXStaticText";
    empty.value = "";
    UiElement window;
    window.id = 20;
    window.role = "AXWindow";
    window.title = "Send a Message";
    window.children = {field, send};
    UiElement root;
    root.id = 1;
    root.role = "AXApplication";
    root.title = "Lidora";
    root.children = {window, empty};

    const auto sent = message([&](sd_bus_message* m) { return appendUiTree(m, root); });
    const auto read = readUiTree(sent.get());
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(*read, root);
}

TEST_F(AccessibilityWire, RefusesWhatNoCopyMakes) {
    const std::pair<std::vector<Row>, std::string> cases[] = {
        {{}, "it has no root"},
        {{{1, 5}}, "it does not start with its root"},
        {{{0, 1}, {2, 5}}, "skips a level"},
        {{{0, 1}, {1, 2}, {0, 3}}, "repeats the root"},
    };
    for (const auto& [list, why] : cases) {
        const auto read = readUiTree(rows(list).get());
        ASSERT_FALSE(read) << why;
        EXPECT_NE(read.error().find(why), std::string::npos) << read.error();
    }
    const auto wrong = message([](sd_bus_message* m) { return sd_bus_message_append(m, "s", "tree"); });
    EXPECT_FALSE(readUiTree(wrong.get()));

    std::vector<Row> deep;
    for (std::uint32_t level = 0; level <= kUiTreeMaxDepth; ++level) {
        deep.push_back({level, level + 1});
    }
    EXPECT_FALSE(readUiTree(rows(deep).get())) << "deeper than a copy goes";
    std::vector<Row> wide{{0, 1}};
    for (std::uint64_t id = 2; id <= kUiTreeMaxElements + 1; ++id) {
        wide.push_back({1, id});
    }
    EXPECT_FALSE(readUiTree(rows(wide).get())) << "more than a copy holds";
}

}  // namespace
}  // namespace lidora::vmac
