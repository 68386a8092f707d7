#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/bundle/PlistDocument.h"
#include "platform/launchd/LaunchJob.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;

namespace lidora::vmac {
namespace {

constexpr const char* kLabel = "<key>Label</key><string>com.zelquin.lidora.helper</string>\n";
constexpr const char* kProgram = "<key>Program</key><string>/bin/d</string>\n";
constexpr const char* kLoose = "/Library/LaunchDaemons/x.plist";

std::string document(const std::string& dictBody) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + dictBody +
           "</dict>\n</plist>\n";
}

Expected<LaunchJob, std::string> parse(const std::string& dictBody, const std::filesystem::path& plist = kLoose) {
    auto value = parseXmlPlistDocument(document(dictBody));
    if (!value) {
        return unexpected(value.error());
    }
    return launchJobFromPlist(*value, plist);
}

TEST(LaunchJob, ReadsAFullDaemonDescriptionAndFillsInDefaults) {
    const auto job =
        parse(std::string(kLabel) +
                  "<key>BundleProgram</key><string>Contents/MacOS/com.zelquin.lidora.helper</string>\n"
                  "<key>ProgramArguments</key><array><string>helper</string><string>-v</string></array>\n"
                  "<key>MachServices</key><dict><key>com.zelquin.lidora.helper</key><true/></dict>\n"
                  "<key>UserName</key><string>daemon</string>\n"
                  "<key>RunAtLoad</key><true/>\n"
                  "<key>ThrottleInterval</key><integer>2</integer>\n"
                  "<key>StandardErrorPath</key><string>/tmp/helper.err</string>\n"
                  "<key>AssociatedBundleIdentifiers</key><array><string>com.zelquin.lidora</string></array>\n"
                  "<key>SomethingLaunchdIgnores</key><string>x</string>\n",
              "/Applications/Lidora.app/Contents/Library/LaunchDaemons/com.zelquin.lidora.helper.plist");
    ASSERT_TRUE(job) << job.error();
    EXPECT_EQ(job->label, "com.zelquin.lidora.helper");
    EXPECT_EQ(job->program, "/Applications/Lidora.app/Contents/MacOS/com.zelquin.lidora.helper");
    EXPECT_EQ(job->arguments, (std::vector<std::string>{"helper", "-v"}));
    EXPECT_EQ(job->machServices, (std::vector<std::string>{"com.zelquin.lidora.helper"}));
    EXPECT_EQ(job->userName, "daemon");
    EXPECT_TRUE(job->runAtLoad);
    EXPECT_FALSE(job->keepAlive);
    EXPECT_EQ(job->throttleInterval, std::chrono::seconds(2));
    EXPECT_FALSE(job->standardOutPath);
    EXPECT_EQ(job->standardErrorPath, std::filesystem::path("/tmp/helper.err"));
    EXPECT_EQ(job->associatedBundleIdentifiers, (std::vector<std::string>{"com.zelquin.lidora"}));

    const auto minimal = parse(std::string(kLabel) + "<key>Program</key><string>/usr/libexec/./d</string>\n");
    ASSERT_TRUE(minimal) << minimal.error();
    EXPECT_EQ(minimal->program, "/usr/libexec/d");
    EXPECT_EQ(minimal->arguments, (std::vector<std::string>{"/usr/libexec/d"}));
    EXPECT_EQ(minimal->userName, "root");
    EXPECT_EQ(minimal->throttleInterval, kDefaultThrottleInterval);
    const auto fromArguments =
        parse(std::string(kLabel) + "<key>ProgramArguments</key><array><string>/bin/d</string></array>\n");
    ASSERT_TRUE(fromArguments) << fromArguments.error();
    EXPECT_EQ(fromArguments->program, "/bin/d");
}

TEST(LaunchJob, RefusesDescriptionsItCannotRunWithClearReasons) {
    const std::string both = std::string(kLabel) + kProgram;
    const std::string bundled = std::string(kLabel) + "<key>BundleProgram</key><string>";
    struct Case {
        std::string body;
        const char* reason;
        const char* plist = kLoose;
    };
    const Case cases[] = {
        {kProgram, "Label is missing"},
        {std::string("<key>Label</key><string>com/evil</string>") + kProgram, "may hold only"},
        {std::string("<key>Label</key><integer>3</integer>") + kProgram, "Label must be a string"},
        {kLabel, "no program"},
        {std::string(kLabel) + "<key>ProgramArguments</key><array><string>d</string></array>", "not an absolute path"},
        {both + "<key>BundleProgram</key><string>Contents/MacOS/d</string>", "both set"},
        {bundled + "Contents/MacOS/d</string>", "inside a bundle"},
        {bundled + "../../../etc/d</string>", "out of the bundle", "/A.app/Contents/Library/LaunchDaemons/x.plist"},
        {both + "<key>MachServices</key><dict><key>a/b</key><true/></dict>", "service name \"a/b\""},
        {both + "<key>MachServices</key><dict><key>s</key><false/></dict>", "must be true"},
        {both + "<key>KeepAlive</key><dict/>", "not supported"},
        {both + "<key>RunAtLoad</key><string>yes</string>", "true or false"},
        {both + "<key>ThrottleInterval</key><integer>0</integer>", "between 1 and"},
        {both + "<key>StandardOutPath</key><string>out.log</string>", "StandardOutPath"},
        {both + "<key>UserName</key><string></string>", "UserName is empty"},
    };
    for (const auto& c : cases) {
        const auto job = parse(c.body, c.plist);
        ASSERT_FALSE(job) << c.reason;
        EXPECT_THAT(job.error(), HasSubstr(c.reason));
    }
}

TEST(LaunchJob, LoadingAFileNamesItAndChecksTheProgram) {
    testing::TempDir dir;
    const auto plist = dir.path() / "x.plist";
    const auto write = [&](const std::string& text) { std::ofstream(plist) << text; };

    EXPECT_THAT(loadLaunchJob(plist).error(), HasSubstr("no such file"));
    write(document(std::string(kLabel) + "<key>Program</key><string>" + (dir.path() / "missing").string() +
                   "</string>\n"));
    EXPECT_THAT(loadLaunchJob(plist).error(), HasSubstr("not an executable file"));
    write(document(std::string(kLabel) + "<key>Program</key><string>/bin/true</string>\n"));
    EXPECT_EQ(loadLaunchJob(plist).value().plist, plist);
    write("<?xml version=\"1.0\"?>\n<plist version=\"1.0\">\n<dict>\n<key>Label</key><strin>x</string>\n");
    EXPECT_THAT(loadLaunchJob(plist).error(), ::testing::AllOf(HasSubstr(plist.string()), HasSubstr("line")));
}

}  // namespace
}  // namespace lidora::vmac
