#include "platform/system/AutostartEntry.h"

#include <algorithm>
#include <map>

#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

constexpr std::string_view kGroup = "[Desktop Entry]";

// Desktop-entry string values escape \s \n \t \r and \\.
std::string escapedValue(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    if (!out.empty() && out.front() == ' ') {
        out.replace(0, 1, "\\s");
    }
    return out;
}

std::string unescapedValue(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
            case 's': out += ' '; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            default: out += text[i];
        }
    }
    return out;
}

// An Exec argument, quoted as the desktop-entry specification asks.
std::string quotedArgument(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::filesystem::path autostartDirectory(const std::filesystem::path& home) {
    return home / ".config" / "autostart";
}

std::string renderAutostartEntry(const AutostartEntry& entry) {
    std::string out(kGroup);
    out += "\nType=Application\nName=" + escapedValue(entry.name) + "\n";
    out += "Exec=" + escapedValue("open " + quotedArgument(entry.bundle.string())) + "\n";
    out += std::string(kAutostartBundleKey) + "=" + escapedValue(entry.bundle.string()) + "\n";
    if (!entry.enabled) {
        out += "Hidden=true\n";
    }
    return out;
}

Expected<AutostartEntry, std::string> parseAutostartEntry(std::string_view text) {
    std::map<std::string, std::string, std::less<>> values;
    bool inGroup = false;
    bool sawGroup = false;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const auto end = text.find('\n');
        const auto line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            inGroup = line == kGroup;
            sawGroup = sawGroup || inGroup;
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            return unexpected("line " + std::to_string(lineNumber) + " is neither a group, a key nor a comment");
        }
        if (inGroup) {
            values.insert_or_assign(std::string(trimmed(line.substr(0, equals))),
                                    unescapedValue(trimmed(line.substr(equals + 1))));
        }
    }
    if (!sawGroup) {
        return unexpected(std::string("there is no [Desktop Entry] group"));
    }
    const auto bundle = values.find(kAutostartBundleKey);
    if (bundle == values.end() || bundle->second.empty()) {
        return unexpected("it names no bundle (" + std::string(kAutostartBundleKey) + ")");
    }
    AutostartEntry entry;
    entry.bundle = bundle->second;
    if (const auto name = values.find("Name"); name != values.end()) {
        entry.name = name->second;
    }
    const auto hidden = values.find("Hidden");
    const auto enabled = values.find("X-GNOME-Autostart-enabled");
    entry.enabled = !(hidden != values.end() && hidden->second == "true") &&
                    !(enabled != values.end() && enabled->second == "false");
    return entry;
}

AutostartListing listAutostartEntries(const std::filesystem::path& home) {
    AutostartListing listing;
    const auto directory = autostartDirectory(home);
    std::error_code error;
    if (!std::filesystem::is_directory(directory, error)) {
        return listing;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& item : std::filesystem::directory_iterator(directory, error)) {
        if (item.path().extension() == ".desktop") {
            files.push_back(item.path());
        }
    }
    if (error) {
        listing.problems.push_back(systemError("cannot list", directory));
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        const auto contents = readFileIfPresent(file);
        if (!contents || !*contents) {
            listing.problems.push_back(contents ? file.string() + " vanished" : contents.error());
            continue;
        }
        auto entry = parseAutostartEntry((*contents)->bytes);
        if (!entry) {
            listing.problems.push_back(file.string() + " is not a login item of the virtual Mac: " + entry.error());
        } else if (entry->enabled) {
            listing.entries.push_back(std::move(entry).value());
        }
    }
    return listing;
}

}  // namespace lidora::vmac
