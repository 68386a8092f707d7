#include "platform/prefs/PreferenceStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <mutex>

#include "platform/prefs/PreferenceJson.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

// Leaves room under the 255-byte file-name limit for ".json.corrupt-<time>-<n>".
constexpr std::size_t kMaxDomainNameLength = 200;
constexpr mode_t kDomainFileMode = 0644;

struct CurrentValues {
    PreferenceDictionary values;
    std::optional<FileIdentity> identity;
    std::optional<std::string> unreadable;  // why the file is not a domain
};

Expected<CurrentValues, std::string> readCurrent(const std::filesystem::path& file) {
    auto contents = readFileIfPresent(file);
    if (!contents) {
        return unexpected(contents.error());
    }
    CurrentValues current;
    if (!*contents) {
        return current;
    }
    current.identity = (*contents)->identity;
    auto decoded = decodeDomainJson((*contents)->bytes);
    if (decoded) {
        current.values = std::move(decoded).value();
    } else {
        current.unreadable = decoded.error();
    }
    return current;
}

}  // namespace

// Passes warnings on, each bad file version only once, so a process that
// keeps reading a broken domain does not flood the log.
class PreferenceDomain::Reports {
public:
    explicit Reports(WarningHandler warn) : warn_(std::move(warn)) {}

    void warn(const std::string& message) {
        if (warn_) {
            warn_(message);
        }
    }

    void warnOnce(const std::string& message, const std::optional<FileIdentity>& identity) {
        {
            const std::lock_guard lock(mutex_);
            if (lastMessage_ == message && lastIdentity_ == identity) {
                return;
            }
            lastMessage_ = message;
            lastIdentity_ = identity;
        }
        warn(message);
    }

private:
    WarningHandler warn_;
    std::mutex mutex_;
    std::optional<std::string> lastMessage_;
    std::optional<FileIdentity> lastIdentity_;
};

Expected<void, std::string> validateDomainName(std::string_view name) {
    if (name.empty()) {
        return unexpected(std::string("the domain name is empty"));
    }
    const std::string quotedName = "domain name \"" + std::string(name) + "\"";
    if (name.size() > kMaxDomainNameLength) {
        return unexpected("the domain name is longer than " + std::to_string(kMaxDomainNameLength) + " bytes");
    }
    if (name.front() == '.') {
        return unexpected("the " + quotedName + " starts with '.'");
    }
    if (name.find('/') != std::string_view::npos) {
        return unexpected("the " + quotedName + " contains '/'");
    }
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
        return unexpected(std::string("the domain name contains control characters"));
    }
    return {};
}

PreferenceDomain::PreferenceDomain(PreferencesDirectory directory, std::string name, WarningHandler warn)
    : directory_(std::move(directory)),
      name_(std::move(name)),
      file_(directory_.path() / (name_ + ".json")),
      reports_(std::make_shared<Reports>(std::move(warn))) {}

Expected<PreferenceDomain, std::string> PreferenceDomain::open(PreferencesDirectory directory, std::string name,
                                                               WarningHandler warn) {
    if (auto valid = validateDomainName(name); !valid) {
        return unexpected(valid.error());
    }
    return PreferenceDomain(std::move(directory), std::move(name), std::move(warn));
}

std::filesystem::path PreferenceDomain::sibling(std::string_view suffix) const {
    return directory_.path() / (name_ + std::string(suffix));
}

bool PreferenceDomain::exists() const {
    struct stat info {};
    return ::stat(file_.c_str(), &info) == 0;
}

Expected<PreferenceDictionary, std::string> PreferenceDomain::load() const {
    if (auto trusted = directory_.verify(); !trusted) {
        return unexpected(trusted.error());
    }
    auto current = readCurrent(file_);
    if (!current) {
        return unexpected(current.error());
    }
    if (current->unreadable) {
        reports_->warnOnce(
            file_.string() + " is not a preferences domain (" + *current->unreadable + "); reading it as empty",
            current->identity);
    }
    return std::move(current->values);
}

std::optional<PreferenceValue> PreferenceDomain::get(std::string_view key) const {
    auto values = load();
    if (!values) {
        reports_->warnOnce(values.error(), std::nullopt);
        return std::nullopt;
    }
    const auto found = values->find(key);
    if (found == values->end()) {
        return std::nullopt;
    }
    return std::move(found->second);
}

Expected<void, std::string> PreferenceDomain::set(std::string_view key, PreferenceValue value) {
    auto written = update([&](PreferenceDictionary& values) -> Expected<bool, std::string> {
        const auto found = values.find(key);
        if (found != values.end() && found->second == value) {
            return false;
        }
        values.insert_or_assign(std::string(key), value);
        return true;
    });
    if (!written) {
        return unexpected(written.error());
    }
    return {};
}

Expected<bool, std::string> PreferenceDomain::remove(std::string_view key) {
    // Removing from a domain that does not exist must not create its folder.
    if (!exists()) {
        return false;
    }
    bool existed = false;
    auto written = update([&](PreferenceDictionary& values) -> Expected<bool, std::string> {
        const auto found = values.find(key);
        existed = found != values.end();
        if (existed) {
            values.erase(found);
        }
        return existed;
    });
    if (!written) {
        return unexpected(written.error());
    }
    return existed;
}

Expected<bool, std::string> PreferenceDomain::update(const DomainChange& change) {
    if (auto created = directory_.create(); !created) {
        return unexpected(created.error());
    }
    const auto held = lock();
    if (!held) {
        return unexpected(held.error());
    }
    // Read again under the lock: another process may have written since.
    auto current = readCurrent(file_);
    if (!current) {
        return unexpected(current.error());
    }
    auto changed = change(current->values);
    if (!changed) {
        return unexpected(changed.error());
    }
    if (!*changed) {
        return false;
    }
    auto bytes = encodeDomainJson(current->values);
    if (!bytes) {
        return unexpected(bytes.error());
    }
    if (current->unreadable) {
        auto aside = keepAside();
        if (!aside) {
            return unexpected(aside.error());
        }
        reports_->warn("kept " + file_.string() + " aside as " + *aside + " because it is not a preferences domain (" +
                       *current->unreadable + ")");
    }
    if (auto replaced = replaceFileAtomically(file_, sibling(".json.tmp"), *bytes, kDomainFileMode, durability_);
        !replaced) {
        return unexpected(replaced.error());
    }
    return true;
}

Expected<FileLock, std::string> PreferenceDomain::lock() const {
    auto held = FileLock::acquire(sibling(".json.lock"), lockWait_);
    if (!held) {
        return unexpected("the preferences of " + name_ + " cannot be changed: " + held.error());
    }
    return held;
}

Expected<std::string, std::string> PreferenceDomain::keepAside() const {
    const std::string stamp = ".json.corrupt-" + std::to_string(std::time(nullptr));
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const auto aside = sibling(attempt == 1 ? stamp : stamp + "-" + std::to_string(attempt));
        struct stat info {};
        if (::lstat(aside.c_str(), &info) == 0) {
            continue;
        }
        if (::rename(file_.c_str(), aside.c_str()) != 0) {
            return unexpected(systemError("cannot keep aside", file_));
        }
        return aside.string();
    }
    return unexpected("cannot find a free name to keep " + file_.string() + " aside");
}

Expected<bool, std::string> PreferenceDomain::erase() {
    if (!exists()) {
        return false;
    }
    if (auto trusted = directory_.verify(); !trusted) {
        return unexpected(trusted.error());
    }
    const auto held = lock();
    if (!held) {
        return unexpected(held.error());
    }
    if (::unlink(file_.c_str()) != 0) {
        if (errno == ENOENT) {
            return false;
        }
        return unexpected(systemError("cannot delete", file_));
    }
    ::unlink(sibling(".json.tmp").c_str());
    return true;
}

Expected<std::vector<std::string>, std::string> listDomains(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator entries(directory, error);
    if (error) {
        if (error == std::errc::no_such_file_or_directory) {
            return names;
        }
        return unexpected("cannot list " + directory.string() + ": " + error.message());
    }
    constexpr std::string_view kSuffix = ".json";
    for (; entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::string fileName = entries->path().filename().string();
        if (fileName.size() <= kSuffix.size() || !fileName.ends_with(kSuffix) || !entries->is_regular_file(error)) {
            continue;
        }
        std::string name = fileName.substr(0, fileName.size() - kSuffix.size());
        if (validateDomainName(name)) {
            names.push_back(std::move(name));
        }
    }
    if (error) {
        return unexpected("cannot list " + directory.string() + ": " + error.message());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace lidora::vmac
