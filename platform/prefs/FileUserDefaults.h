#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "core/ports/UserDefaults.h"
#include "core/runtime/CallbackList.h"
#include "platform/prefs/PreferenceStore.h"
#include "platform/prefs/PreferencesDirectory.h"
#include "platform/vmac/FolderWatch.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// User defaults kept as domain files in one user's preferences folder. The
// standard defaults are the domain named after the bundle identifier.
class FileUserDefaults final : public UserDefaultsProvider {
public:
    // Writes of every domain opened here are as durable as `durability` says.
    FileUserDefaults(PreferencesDirectory directory, std::string bundleIdentifier, WarningHandler warn = {},
                     Durability durability = Durability::flushed);
    // The preferences folder of the user this process runs as.
    FileUserDefaults(const VmacPaths& paths, std::string bundleIdentifier, WarningHandler warn = {},
                     Durability durability = Durability::flushed);
    FileUserDefaults(const FileUserDefaults&) = delete;
    FileUserDefaults& operator=(const FileUserDefaults&) = delete;
    ~FileUserDefaults() override;

    // Never empty; if the bundle identifier is no valid domain name, reads
    // find nothing and writes fail saying why.
    [[nodiscard]] std::shared_ptr<UserDefaults> standard() override;
    // Empty for an invalid name, for the bundle identifier itself (as on
    // macOS) and when the folder cannot be created.
    [[nodiscard]] std::shared_ptr<UserDefaults> suite(std::string_view name) override;
    // Called after every successful set or remove through any domain opened
    // here, on the calling thread. Callbacks may unsubscribe while called.
    [[nodiscard]] Subscription observeChanges(std::function<void()> changed) override;
    // Tells the observers about a change another process made to a domain
    // file (the caller watches the files it cares about).
    void announceChange() const;
    // Announces every change to the domain's file, ours or another
    // process's, on `loop`; through the same watch that keeps reads fresh.
    [[nodiscard]] Expected<Cancellable, std::string> followWritesOf(RunLoop& loop, std::string_view domain);
    // Where the domain files lie: DOMAIN.json.
    [[nodiscard]] const std::filesystem::path& folder() const { return directory_.path(); }

private:
    // Told from whichever thread wrote.
    using Observers = CallbackList<void(), std::mutex>;

    [[nodiscard]] std::function<void()> notifier() const;
    [[nodiscard]] Expected<PreferenceDomain, std::string> openDomain(std::string name) const;

    PreferencesDirectory directory_;
    std::string bundleIdentifier_;
    WarningHandler warn_;
    Durability durability_;
    std::shared_ptr<Observers> observers_;
    std::shared_ptr<FolderWatch> watch_;
    std::shared_ptr<UserDefaults> standard_;
};

}  // namespace lidora::vmac
