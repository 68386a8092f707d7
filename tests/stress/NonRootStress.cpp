// A local user without privileges tries every root power Lidora's Mac has:
// launchd's jobs, approvals, root's preferences, the signature database,
// and the daemon itself. Nothing may change.
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

#include "tests/stress/Parts.h"
#include "tests/stress/StressMac.h"

namespace lidora::testing {

namespace {

// What root owns, as it is now.
struct RootState {
    std::set<std::string> jobs;
    std::string approvals;
    std::string signatures;
    std::string brightness;
    std::size_t commands = 0;
    friend bool operator==(const RootState&, const RootState&) = default;
};

RootState rootState(const StressMac& stress) {
    RootState state;
    std::istringstream list(stress.mac.vmac({"launchctl", "list"}).out);
    for (std::string line; std::getline(list, line);) {
        state.jobs.insert(line.substr(line.find_last_of(" \t") + 1));
    }
    const auto db = stress.mac.root() / "var" / "db";
    state.approvals = fileText(db / "launchd" / "servicemanagement.json");
    state.signatures = fileText(db / "codesign" / "signatures.json");
    state.brightness = stress.brightnessDomain();
    state.commands = stress.commandsRun().size();
    return state;
}

struct Attempt {
    std::string what;
    std::vector<std::string> argv;
};

}  // namespace

void nonRootPart(const RunSize& /*size*/, Report& report) {
    if (geteuid() != 0) {
        report.note("NR skipped: it needs root to act as an unprivileged user");
        return;
    }
    StressMac stress;
    // The user's own folder, with a program of theirs and a job of theirs.
    const auto home = stress.mac.root() / "scratch" / "nobody";
    std::filesystem::create_directories(home);
    const auto own = home / "client";
    std::filesystem::copy_file(STRESS_CLIENT, own);
    const auto job = home / "com.example.evil.plist";
    std::ofstream(job) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                       << "<key>Label</key><string>com.example.evil</string>"
                       << "<key>ProgramArguments</key><array><string>" << own.string()
                       << "</string></array><key>RunAtLoad</key><true/></dict></plist>\n";
    const auto forged = home / "signatures.json";
    std::ofstream(forged) << "[]\n";
    for (const auto& each : {home, own, job, forged}) {
        [[maybe_unused]] const int changed = ::chown(each.c_str(), 65534, 65534);
    }
    const auto app = stress.client("app");
    stress.mac.run({app.string(), "call", "get-state", "1"});  // the daemon has run once

    const auto vmac = (stress.mac.bin() / "vmac").string();
    const auto db = stress.mac.root() / "var" / "db";
    const auto rootDomain =
        (stress.mac.root() / "var" / "root" / "Library" / "Preferences" / "com.apple.CoreBrightness.json").string();
    const std::vector<Attempt> attempts{
        {"load a job", {vmac, "launchctl", "load", job.string()}},
        {"load the daemon's job again", {vmac, "launchctl", "load", stress.plist().string()}},
        {"unload the daemon's job", {vmac, "launchctl", "unload", stress.plist().string()}},
        {"approve the daemon", {vmac, "approve", kHelperLabel}},
        {"revoke the daemon's approval", {vmac, "approve", "--revoke", kHelperLabel}},
        {"write root's domain through defaults",
         {vmac, "defaults", "write", "com.apple.CoreBrightness", "LEBacklightMode", "-int", "0"}},
        {"overwrite root's domain file", {"/bin/sh", "-c", "echo '{}' >\"$0\"", rootDomain}},
        {"replace root's domain file", {"/bin/mv", "-f", forged.string(), rootDomain}},
        {"sign a program as the app",
         {vmac, "codesign", "--identifier", kAppIdentifier, "--team", kTeam, own.string()}},
        {"overwrite the signature database",
         {"/bin/sh", "-c", "echo '[]' >\"$0\"", (db / "codesign" / "signatures.json").string()}},
        {"replace the signature database",
         {"/bin/cp", "-f", forged.string(), (db / "codesign" / "signatures.json").string()}},
        {"call the daemon from an own program", {own.string(), "call", "off", "1"}},
        {"reset through the daemon from an own program", {own.string(), "call", "reset", "1"}},
    };
    int succeeded = 0;
    for (const auto& attempt : attempts) {
        const auto before = rootState(stress);
        const auto result = stress.mac.runAsNobody(attempt.argv);
        const bool served = result.out.rfind("ok ", 0) == 0;
        if (served || !(rootState(stress) == before)) {
            ++succeeded;
            report.note("NR an unprivileged user could " + attempt.what + ": " + result.out + result.err);
        }
    }
    report.figure("NR.attempts", attempts.size(), ">= 12", attempts.size() >= 12);
    report.exactly("NR.privileged_actions", succeeded, 0);
}

}  // namespace lidora::testing
