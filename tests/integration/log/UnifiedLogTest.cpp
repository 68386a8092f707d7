#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "platform/log/UnifiedLogStore.h"
#include "tests/support/VirtualMac.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace lidora {
namespace {

using testing::VirtualMac;

std::string record(const std::string& message, const std::string& extra = "") {
    return R"({"subsystem":"com.zelquin.lidora","category":"helper","level":"Default","message":")" + message + "\"" +
           extra + "}";
}

// The log service as a user without privileges meets it: the files are not
// theirs to write, and what they send is stored as theirs alone.
class UnifiedLog : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root to send as the user nobody";
        }
        mac.boot();
        probe = mac.signedCopy(LOG_PROBE, "log-probe", "", "");
    }

    testing::ProcessResult probeAsNobody(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {probe.string(), socket().string()});
        return mac.runAsNobody(arguments);
    }
    std::filesystem::path socket() const { return mac.root() / "var" / "run" / "logd" / "logd.socket"; }
    std::vector<vmac::StoredLogRecord> shown() const {
        std::vector<vmac::StoredLogRecord> records;
        std::istringstream lines(mac.vmac({"log", "show", "--style", "json"}).out);
        for (std::string line; std::getline(lines, line);) {
            if (auto decoded = vmac::decodeLogRecord(line)) {
                records.push_back(*decoded);
            }
        }
        return records;
    }
    static std::int64_t pidIn(const std::string& out) { return std::stoll(out.substr(out.find("pid ") + 4)); }

    VirtualMac mac{TEST_BIN_DIR};
    std::filesystem::path probe;
};

TEST_F(UnifiedLog, NobodyCannotWriteTheLogsFiles) {
    ASSERT_EQ(mac.vmac({"log", "post", "root's"}).status, 0);
    const auto folder = mac.root() / "var" / "db" / "diagnostics";
    for (const auto* file : {"uid-0.jsonl", "uid-65534.jsonl", "unified.jsonl"}) {
        const auto appended =
            mac.runAsNobody({"/bin/sh", "-c", "echo forged >> \"$1\"", "sh", (folder / file).string()});
        EXPECT_NE(appended.status, 0) << file;
    }
    EXPECT_THAT(mac.vmac({"log", "show"}).out, Not(HasSubstr("forged")));
}

TEST_F(UnifiedLog, ASenderIsStoredAsTheKernelNamesItAndMalformedDatagramsAreDropped) {
    const auto sent = probeAsNobody({
        "--claim",
        record("forged", R"(,"pid":1,"uid":0,"process":"com.zelquin.lidora.helper")"),
        "helper: forged",
        R"({"subsystem":"s","category":"c","level":"Loud","message":"forged"})",
        R"({"subsystem":"s\u0001","category":"c","level":"Default","message":"forged"})",
        std::string(20000, '{'),
        record("after"),
        "--sync",
    });
    ASSERT_EQ(sent.status, 0) << sent.err;
    EXPECT_THAT(sent.out, HasSubstr("claim refused")) << "the kernel refuses credentials not the sender's";
    std::vector<vmac::StoredLogRecord> fromProbe;
    for (const auto& r : shown()) {
        if (r.message == "forged" || r.message == "after" || r.message == "claimed") {
            fromProbe.push_back(r);
        }
    }
    ASSERT_EQ(fromProbe.size(), 2U) << "only the well-formed records, the service still up after the rest";
    for (const auto& r : fromProbe) {
        EXPECT_EQ(r.pid, pidIn(sent.out)) << r.message;
        EXPECT_EQ(r.uid, 65534) << r.message;
        EXPECT_EQ(r.process, "log-probe") << r.message;
    }
}

TEST_F(UnifiedLog, AFloodFromOneUserLeavesAnothersRecords) {
    ASSERT_EQ(mac.vmac({"log", "post", "root's before the flood"}).status, 0);
    const auto flooded = probeAsNobody({"--flood", "700", "--sync"});  // ten megabytes
    ASSERT_EQ(flooded.status, 0) << flooded.err;
    const auto shownNow = mac.vmac({"log", "show", "--uid", "0"}).out;
    EXPECT_THAT(shownNow, HasSubstr("root's before the flood"));
    EXPECT_LT(mac.vmac({"log", "show", "--uid", "65534"}).out.size(), 9'000'000U) << "the flood rotated itself";
}

// log, then show: show waits for the service to store what was sent before
// it, even by a process that exited without waiting.
TEST_F(UnifiedLog, ShowHasEveryRecordSentBeforeIt) {
    for (int i = 0; i < 5; ++i) {
        const auto message = "ordered " + std::to_string(i);
        const auto sent = i % 2 == 0 ? probeAsNobody({record(message)})
                                     : mac.run({probe.string(), socket().string(), record(message)});
        ASSERT_EQ(sent.status, 0) << sent.err;
        EXPECT_THAT(mac.vmac({"log", "show", "--category", "helper", "--last", "1"}).out, HasSubstr(message));
    }
}

}  // namespace
}  // namespace lidora
