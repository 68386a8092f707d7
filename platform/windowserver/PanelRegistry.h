#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/overlay/LogoStyle.h"
#include "core/ports/Geometry.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// One panel an app has, as the window server knows it.
struct PanelRecord {
    std::uint64_t id = 0;
    std::int32_t level = 0;
    Rect frame;  // global, bottom-left origin, as AppKit gives it
    double alpha = 1;
    std::uint64_t collectionBehavior = 0;
    bool orderedIn = false;
    std::uint32_t space = 0;  // the space active where it was ordered in
    // What it draws: empty, "rainbow" or "solid R G B A".
    std::string content;
    friend bool operator==(const PanelRecord&, const PanelRecord&) = default;
};

struct AppPanels {
    pid_t pid = 0;
    std::string owner;
    std::vector<PanelRecord> panels;
};

std::filesystem::path panelsFolder(const VmacPaths& paths);
// A panel's pixels at 2x, as the app drew them (its backing store), PNG.
std::filesystem::path backingStore(const VmacPaths& paths, pid_t pid, std::uint64_t id);

std::string describeContent(const std::optional<LogoContent>& content);
std::optional<LogoContent> contentFrom(const std::string& text);

// This process's panels, written whole on every change to
// var/run/windowserver/windows/PID.json, atomically, so the window server
// (any vmac command) reads a whole list. Removed when destroyed.
class PanelRegistry {
public:
    PanelRegistry(VmacPaths paths, std::string owner);
    ~PanelRegistry();
    PanelRegistry(const PanelRegistry&) = delete;
    PanelRegistry& operator=(const PanelRegistry&) = delete;

    std::uint64_t add(PanelRecord record);
    void change(std::uint64_t id, const PanelRecord& record);
    void remove(std::uint64_t id);
    [[nodiscard]] const VmacPaths& paths() const { return paths_; }

private:
    void write() const;

    VmacPaths paths_;
    std::string owner_;
    std::uint64_t next_ = 1;
    std::vector<PanelRecord> panels_;
};

// Every running app's panels; lists of processes that are gone are skipped.
std::vector<AppPanels> readAllPanels(const VmacPaths& paths);

}  // namespace lidora::vmac
