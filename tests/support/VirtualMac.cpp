#include "tests/support/VirtualMac.h"

#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <thread>

namespace lidora::testing {

VirtualMac::VirtualMac(std::filesystem::path binDirectory) : bin_(std::move(binDirectory)) {
    // Other users must reach the root, as they reach / on a real Mac.
    std::filesystem::permissions(root_.path(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                                   std::filesystem::perms::group_exec |
                                                   std::filesystem::perms::others_read |
                                                   std::filesystem::perms::others_exec);
    std::filesystem::create_directories(root_.path() / "scratch");
}

VirtualMac::~VirtualMac() {
    if (booted_) {
        vmac({"shutdown"});
    }
}

ProcessResult VirtualMac::vmac(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), (bin_ / "vmac").string());
    return run(std::move(arguments));
}

ProcessResult VirtualMac::run(std::vector<std::string> argv) const {
    return runProcess(argv, {{"VMAC_ROOT", root_.path().string()}});
}

ProcessResult VirtualMac::runAsNobody(std::vector<std::string> argv) const {
    argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
    return run(std::move(argv));
}

ProcessResult VirtualMac::boot() {
    auto booted = vmac({"boot"});
    if (booted.status != 0) {
        throw std::runtime_error("vmac boot failed: " + booted.err);
    }
    booted_ = true;
    // launchd starts the message bus at load; tests expect it up after boot.
    const auto busSocket = root_.path() / "var" / "run" / "vmac-bus.socket";
    if (!waitFor([&] { return std::filesystem::exists(busSocket); }, std::chrono::seconds(10))) {
        throw std::runtime_error("the message bus did not come up with boot");
    }
    return booted;
}

std::filesystem::path VirtualMac::installBundle(const std::filesystem::path& bundle) {
    const auto target = root_.path() / "Applications" / bundle.filename();
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy(bundle, target,
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    return target;
}

std::filesystem::path VirtualMac::signedCopy(const std::filesystem::path& program, const std::string& name,
                                             const std::string& identifier, const std::string& team) {
    const auto copy = root_.path() / "scratch" / name;
    std::filesystem::copy_file(program, copy, std::filesystem::copy_options::overwrite_existing);
    if (!identifier.empty()) {
        std::vector<std::string> arguments{"codesign", "--identifier", identifier};
        if (!team.empty()) {
            arguments.insert(arguments.end(), {"--team", team});
        }
        arguments.push_back(copy.string());
        const auto signedIt = vmac(arguments);
        if (signedIt.status != 0) {
            throw std::runtime_error("vmac codesign failed: " + signedIt.err);
        }
    }
    return copy;
}

std::optional<pid_t> VirtualMac::pidOf(const std::string& label) const {
    std::ifstream in(root_.path() / "var" / "run" / "vmac" / (label + ".pid"));
    pid_t pid = 0;
    if (in >> pid && pid > 0) {
        return pid;
    }
    return std::nullopt;
}

bool VirtualMac::isRunning(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return false;
    }
    const auto close = line.rfind(") ");
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z' && line[close + 2] != 'X';
}

bool VirtualMac::waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

}  // namespace lidora::testing
