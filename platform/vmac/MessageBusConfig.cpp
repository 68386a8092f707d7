#include "platform/vmac/MessageBusConfig.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/prefs/XmlPlist.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

// D-Bus address values keep [-0-9A-Za-z_/.\*] and escape every other byte.
std::string addressEscaped(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 || c == '-' || c == '_' || c == '/' || c == '.' || c == '\\' || c == '*') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4U];
            out += kHex[byte & 0xFU];
        }
    }
    return out;
}

}  // namespace

std::string messageBusAddress(const VmacPaths& paths) {
    return "unix:path=" + addressEscaped(messageBusSocket(paths).string());
}

std::string messageBusConfigText(const VmacPaths& paths) {
    // Every user of the machine shares this bus, as all apps share the
    // system's notification centre; peers are known by their credentials.
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>vmac</type>\n"
           "  <listen>" +
           xmlEscaped(messageBusAddress(paths)) +
           "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow user=\"*\"/>\n"
           "    <allow own=\"*\"/>\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow receive_sender=\"*\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
}

Expected<void, std::string> writeMessageBusConfig(const VmacPaths& paths) {
    const auto file = messageBusConfig(paths);
    if (!makeDirectories(file.parent_path())) {
        return unexpected("cannot create " + file.parent_path().string() + ": " + std::strerror(errno));
    }
    const auto text = messageBusConfigText(paths);
    // Most runs find it written; they need no lock, which other users may not take.
    if (auto current = readFileIfPresent(file); current && *current && (*current)->bytes == text) {
        return {};
    }
    auto lockFile = file;
    lockFile += ".lock";
    // Several vmac commands may lay out a fresh root at once.
    auto lock = FileLock::acquire(lockFile);
    if (!lock) {
        return unexpected(lock.error());
    }
    if (auto current = readFileIfPresent(file); current && *current && (*current)->bytes == text) {
        return {};
    }
    auto temporary = file;
    temporary += ".tmp";
    return replaceFileAtomically(file, temporary, text, 0644);
}

}  // namespace lidora::vmac
