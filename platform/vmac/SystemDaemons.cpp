#include "platform/vmac/SystemDaemons.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/prefs/XmlPlist.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

std::string expanded(const std::string& argument, const VmacPaths& paths) {
    constexpr std::string_view kRoot = "$VMAC_ROOT/";
    if (argument.starts_with(kRoot)) {
        return (paths.root() / argument.substr(kRoot.size())).string();
    }
    return argument;
}

}  // namespace

const std::vector<SystemDaemon>& systemDaemons() {
    static const std::vector<SystemDaemon> daemons = {
        // Takes every process's records; the unified log is written by it alone.
        {"com.apple.logd", "logd", {}, {}, true},
        // Restarted within a second of `killall corebrightnessd`, as on a Mac.
        {"com.apple.corebrightnessd", "corebrightnessd", {}, {"com.apple.corebrightnessd"}, true, 1},
        {"com.zelquin.vmac.bus",
         "/usr/bin/dbus-daemon",
         {"--nofork", "--nopidfile", "--config-file", "$VMAC_ROOT/etc/vmac-bus.conf"},
         {},
         true},
    };
    return daemons;
}

std::string systemDaemonPlist(const SystemDaemon& daemon, const VmacPaths& paths,
                              const std::filesystem::path& toolsDirectory) {
    const auto program = daemon.program.is_absolute() ? daemon.program : toolsDirectory / daemon.program;
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n"
        << "\t<key>Label</key>\n\t<string>" << xmlEscaped(daemon.label) << "</string>\n"
        << "\t<key>Program</key>\n\t<string>" << xmlEscaped(program.string()) << "</string>\n"
        << "\t<key>ProgramArguments</key>\n\t<array>\n\t\t<string>" << xmlEscaped(program.string()) << "</string>\n";
    for (const auto& argument : daemon.arguments) {
        out << "\t\t<string>" << xmlEscaped(expanded(argument, paths)) << "</string>\n";
    }
    out << "\t</array>\n";
    if (!daemon.machServices.empty()) {
        out << "\t<key>MachServices</key>\n\t<dict>\n";
        for (const auto& service : daemon.machServices) {
            out << "\t\t<key>" << xmlEscaped(service) << "</key>\n\t\t<true/>\n";
        }
        out << "\t</dict>\n";
    }
    if (daemon.throttleInterval > 0) {
        out << "\t<key>ThrottleInterval</key>\n\t<integer>" << daemon.throttleInterval << "</integer>\n";
    }
    out << "\t<key>KeepAlive</key>\n\t<" << (daemon.keepAlive ? "true" : "false") << "/>\n"
        << "\t<key>RunAtLoad</key>\n\t<true/>\n</dict>\n</plist>\n";
    return out.str();
}

Expected<void, std::string> writeSystemDaemonPlists(const VmacPaths& paths,
                                                    const std::filesystem::path& toolsDirectory) {
    const auto folder = systemLaunchDaemons(paths);
    if (!makeDirectories(folder)) {
        return unexpected("cannot create " + folder.string() + ": " + std::strerror(errno));
    }
    for (const auto& daemon : systemDaemons()) {
        const auto plist = folder / (daemon.label + ".plist");
        const auto text = systemDaemonPlist(daemon, paths, toolsDirectory);
        std::ifstream in(plist);
        const std::string current((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (current == text) {
            continue;
        }
        auto temporary = plist;
        temporary += ".tmp";
        if (auto written = replaceFileAtomically(plist, temporary, text, 0644); !written) {
            return written;
        }
    }
    return {};
}

}  // namespace lidora::vmac
