#include "tests/stress/StressMac.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace lidora::testing {

namespace {

// The tool, wrapped: records its command line in a file of its own, marks
// that it started, waits when asked to, then runs the real tool.
std::string wrapper(const std::filesystem::path& scratch, const std::string& tool, const std::filesystem::path& real) {
    const auto folder = (scratch / "exec").string();
    return "#!/bin/sh\n"
           "record=$(/usr/bin/mktemp '" +
           folder +
           "/XXXXXXXX') || exit 70\n"
           "{ printf '%s\\0' '" +
           tool +
           "'; for argument in \"$@\"; do printf '%s\\0' \"$argument\"; done; } >\"$record\"\n"
           ": >'" +
           (scratch / "tool-started").string() +
           "'\n"
           "delay=$(cat '" +
           (scratch / "tool-delay").string() +
           "' 2>/dev/null)\n"
           "[ -n \"$delay\" ] && /usr/bin/sleep \"$delay\"\n"
           "exec '" +
           real.string() + "' \"$@\"\n";
}

}  // namespace

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

long procStatus(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(field.size()));
        }
    }
    return -1;
}

StressMac::StressMac() {
    wrapTools();
    mac.boot();
    bundle_ = mac.installBundle(LIDORA_BUNDLE);
    const auto loaded = mac.vmac({"launchctl", "load", plist().string()});
    if (loaded.status != 0) {
        throw std::runtime_error("launchctl load failed: " + loaded.err);
    }
}

std::filesystem::path StressMac::plist() const {
    return bundle_ / "Contents" / "Library" / "LaunchDaemons" / "com.zelquin.lidora.helper.plist";
}

std::filesystem::path StressMac::machSocket() const {
    return mac.root() / "var" / "run" / "mach" / kHelperLabel;
}

std::filesystem::path StressMac::client(const std::string& name, const std::string& identifier,
                                        const std::string& team) {
    return mac.signedCopy(STRESS_CLIENT, name, identifier, team);
}

void StressMac::wrapTools() const {
    // Others run vmac from here too, as they reach /usr/bin on a Mac.
    std::filesystem::permissions(tools_.path(), std::filesystem::perms::owner_all |
                                                    std::filesystem::perms::others_read |
                                                    std::filesystem::perms::others_exec);
    std::filesystem::copy(TEST_BIN_DIR, mac.bin(),
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::create_hard_links);
    std::filesystem::create_directories(scratch() / "exec");
    for (const auto* tool : {"defaults", "killall"}) {
        const auto path = mac.bin() / tool;
        std::filesystem::remove(path);
        std::ofstream(path) << wrapper(scratch(), tool, std::filesystem::path(TEST_BIN_DIR) / tool);
        std::filesystem::permissions(path, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                               std::filesystem::perms::group_exec |
                                               std::filesystem::perms::others_read |
                                               std::filesystem::perms::others_exec);
    }
}

std::vector<std::vector<std::string>> StressMac::commandsRun() const {
    std::vector<std::vector<std::string>> commands;
    for (const auto& entry : std::filesystem::directory_iterator(scratch() / "exec")) {
        const auto text = fileText(entry.path());
        std::vector<std::string> argv;
        std::string::size_type start = 0;
        for (auto end = text.find('\0'); end != std::string::npos; end = text.find('\0', start)) {
            argv.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        commands.push_back(std::move(argv));
    }
    return commands;
}

void StressMac::forgetCommands() const {
    for (const auto& entry : std::filesystem::directory_iterator(scratch() / "exec")) {
        std::filesystem::remove(entry.path());
    }
}

void StressMac::slowTools(std::chrono::milliseconds delay) const {
    std::ofstream(scratch() / "tool-delay") << static_cast<double>(delay.count()) / 1000.0 << '\n';
}

bool StressMac::toolStarted() const {
    return std::filesystem::exists(scratch() / "tool-started");
}

void StressMac::clearToolStarted() const {
    std::filesystem::remove(scratch() / "tool-started");
}

std::string StressMac::brightnessDomain() const {
    return fileText(mac.root() / "var" / "root" / "Library" / "Preferences" / "com.apple.CoreBrightness.json");
}

}  // namespace lidora::testing
