#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "TempDir.h"
#include "bundle/PlistDocument.h"
#include "launchd/LaunchJob.h"

using ::testing::HasSubstr;

namespace lidora::vmac {
namespace {

std::string document(const std::string& dictBody) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n" +
           dictBody + "</dict>\n</plist>\n";
}

Expected<LaunchJob, std::string> parse(const std::string& dictBody,
                                       const std::filesystem::path& plist = "/Library/LaunchDaemons/x.plist") {
    auto value = parseXmlPlistDocument(document(dictBody));
    if (!value) {
        return unexpected(value.error());
    }
    return launchJobFromPlist(*value, plist);
}

std::string errorOf(const std::string& dictBody,
                    const std::filesystem::path& plist = "/Library/LaunchDaemons/x.plist") {
    auto job = parse(dictBody, plist);
    return job ? std::string("(parsed)") : job.error();
}

constexpr const char* kLabel = "<key>Label</key><string>com.zelquin.lidora.helper</string>\n";

TEST(LaunchJob, ReadsEveryKeyOfAFullDaemonDescription) {
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
}

TEST(LaunchJob, DefaultsAndProgramFallbacks) {
    const auto minimal = parse(std::string(kLabel) + "<key>Program</key><string>/usr/libexec/./d</string>\n");
    ASSERT_TRUE(minimal) << minimal.error();
    EXPECT_EQ(minimal->program, "/usr/libexec/d");
    EXPECT_EQ(minimal->arguments, (std::vector<std::string>{"/usr/libexec/d"}));
    EXPECT_EQ(minimal->userName, "root");
    EXPECT_EQ(minimal->throttleInterval, kDefaultThrottleInterval);
    EXPECT_TRUE(minimal->machServices.empty());

    const auto fromArguments =
        parse(std::string(kLabel) + "<key>ProgramArguments</key><array><string>/bin/d</string></array>\n");
    ASSERT_TRUE(fromArguments) << fromArguments.error();
    EXPECT_EQ(fromArguments->program, "/bin/d");
}

TEST(LaunchJob, RefusesDescriptionsItCannotRunWithClearReasons) {
    const std::string program = "<key>Program</key><string>/bin/d</string>\n";
    EXPECT_THAT(errorOf(program), HasSubstr("Label is missing"));
    EXPECT_THAT(errorOf("<key>Label</key><string>com/evil</string>" + program), HasSubstr("may hold only"));
    EXPECT_THAT(errorOf("<key>Label</key><string>.hidden</string>" + program), HasSubstr("starts with '.'"));
    EXPECT_THAT(errorOf("<key>Label</key><integer>3</integer>" + program), HasSubstr("Label must be a string"));
    EXPECT_THAT(errorOf(kLabel), HasSubstr("no program"));
    EXPECT_THAT(errorOf(std::string(kLabel) + "<key>Program</key><string>bin/d</string>"),
                HasSubstr("not an absolute path"));
    EXPECT_THAT(errorOf(std::string(kLabel) + "<key>ProgramArguments</key><array><string>d</string></array>"),
                HasSubstr("not an absolute path"));
    EXPECT_THAT(errorOf(std::string(kLabel) + program + "<key>BundleProgram</key><string>Contents/MacOS/d</string>"),
                HasSubstr("both set"));
    EXPECT_THAT(errorOf(std::string(kLabel) + "<key>BundleProgram</key><string>Contents/MacOS/d</string>",
                        "/Library/LaunchDaemons/x.plist"),
                HasSubstr("inside a bundle"));
    EXPECT_THAT(errorOf(std::string(kLabel) + "<key>BundleProgram</key><string>../../../etc/d</string>",
                        "/A.app/Contents/Library/LaunchDaemons/x.plist"),
                HasSubstr("out of the bundle"));
    EXPECT_THAT(errorOf(std::string(kLabel) + program + "<key>MachServices</key><dict><key>a/b</key><true/></dict>"),
                HasSubstr("service name \"a/b\""));
    EXPECT_THAT(errorOf(std::string(kLabel) + program + "<key>MachServices</key><dict><key>s</key><false/></dict>"),
                HasSubstr("must be true"));
    EXPECT_THAT(errorOf(std::string(kLabel) + program + "<key>KeepAlive</key><dict/>"), HasSubstr("not supported"));
    EXPECT_THAT(errorOf(std::string(kLabel) + program + "<key>RunAtLoad</key><string>yes</string>"),
                HasSubstr("true or false"));
    EXPECT_THAT(errorOf(std::string(kLabel) + program + "<key>ThrottleInterval</key><integer>0</integer>"),
                HasSubstr("between 1 and"));
    EXPECT_THAT(errorOf(std::string(kLabel) + program + "<key>StandardOutPath</key><string>out.log</string>"),
                HasSubstr("StandardOutPath"));
    EXPECT_THAT(errorOf(std::string(kLabel) + program + "<key>UserName</key><string></string>"),
                HasSubstr("UserName is empty"));
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
    const auto job = loadLaunchJob(plist);
    ASSERT_TRUE(job) << job.error();
    EXPECT_EQ(job->plist, plist);

    write("<?xml version=\"1.0\"?>\n<plist version=\"1.0\">\n<dict>\n<key>Label</key><strin>x</string>\n");
    const auto broken = loadLaunchJob(plist);
    ASSERT_FALSE(broken);
    EXPECT_THAT(broken.error(), HasSubstr(plist.string()));
    EXPECT_THAT(broken.error(), HasSubstr("line"));
}

}  // namespace
}  // namespace lidora::vmac
