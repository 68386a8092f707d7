#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/prefs/PreferenceValue.h"
#include "core/runtime/Expected.h"
#include "platform/prefs/PreferencesDirectory.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

// Told about files that are not domains and about what was done with them.
using WarningHandler = std::function<void(const std::string&)>;

// A domain name becomes a file name, so anything that could escape the
// folder or hide the file is refused.
Expected<void, std::string> validateDomainName(std::string_view name);

// Changes a domain's values in place; returns whether it changed anything,
// or an error to leave the domain as it was.
using DomainChange = std::function<Expected<bool, std::string>(PreferenceDictionary&)>;

// One preference domain kept as <folder>/<name>.json. Any number of
// processes may read and write it at once: reads always see the latest
// complete write, and writes of different keys never undo each other.
//
// A file that is not a domain (not JSON, not an object) reads as empty and
// is reported; before anything is written over it, it is kept aside as
// <name>.json.corrupt-<unix time>.
class PreferenceDomain {
public:
    static Expected<PreferenceDomain, std::string> open(PreferencesDirectory directory, std::string name,
                                                        WarningHandler warn = {});

    [[nodiscard]] const std::string& name() const { return name_; }
    [[nodiscard]] const std::filesystem::path& file() const { return file_; }
    [[nodiscard]] bool exists() const;

    // All values; an error only when the file cannot be read at all.
    [[nodiscard]] Expected<PreferenceDictionary, std::string> load() const;
    // Empty when absent or unreadable (which is reported).
    [[nodiscard]] std::optional<PreferenceValue> get(std::string_view key) const;

    Expected<void, std::string> set(std::string_view key, PreferenceValue value);
    // Whether the key was there.
    Expected<bool, std::string> remove(std::string_view key);
    // Applies `change` to the current values under the domain's lock and
    // writes the result when it reports a change. Returns whether it wrote.
    Expected<bool, std::string> update(const DomainChange& change);
    // Deletes the whole domain; whether there was one.
    Expected<bool, std::string> erase();

    // How long a write waits for another process's lock before failing.
    void setLockWait(std::chrono::milliseconds wait) { lockWait_ = wait; }
    // Whether writes must survive a power loss (the default) or only a
    // writer killed part-way.
    void setDurability(Durability durability) { durability_ = durability; }

private:
    class Reports;

    PreferenceDomain(PreferencesDirectory directory, std::string name, WarningHandler warn);

    std::filesystem::path sibling(std::string_view suffix) const;
    Expected<std::string, std::string> keepAside() const;
    Expected<FileLock, std::string> lock() const;

    PreferencesDirectory directory_;
    std::string name_;
    std::filesystem::path file_;
    std::shared_ptr<Reports> reports_;
    std::chrono::milliseconds lockWait_ = kLockWait;
    Durability durability_ = Durability::flushed;
};

// Names of the domains in a folder, sorted; none when the folder is missing.
Expected<std::vector<std::string>, std::string> listDomains(const std::filesystem::path& directory);

}  // namespace lidora::vmac
