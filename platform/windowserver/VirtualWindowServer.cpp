#include "platform/windowserver/VirtualWindowServer.h"

#include <sys/stat.h>

#include "platform/bus/BusProtocol.h"

namespace lidora::vmac {

namespace {

std::optional<FileIdentity> identityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                        static_cast<std::int64_t>(info.st_size),
                        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

PreferenceDictionary boundsDictionary(const Rect& r) {
    return {{"X", r.origin.x}, {"Y", r.origin.y}, {"Width", r.size.width}, {"Height", r.size.height}};
}

}  // namespace

WindowServerReader::WindowServerReader(VmacPaths paths)
    : paths_(std::move(paths)),
      displaysFile_(displaysRecordFile(paths_).string()),
      stateFile_(windowServerStateRecord(paths_).file().string()) {}

// Two stats when nothing changed: cheap enough to ask on every call.
const WindowServerReader::Snapshot& WindowServerReader::current() {
    const auto displays = identityOf(displaysFile_);
    const auto state = identityOf(stateFile_);
    if (read_ && displays == displaysSeen_ && state == stateSeen_) {
        return snapshot_;
    }
    snapshot_.displays = displaysRecord(paths_).read().value_or(DisplayRecords{});
    snapshot_.state = windowServerStateRecord(paths_).read().value_or(WindowServerState{});
    settleSpaces(snapshot_.state, snapshot_.displays);
    displaysSeen_ = displays;
    stateSeen_ = state;
    read_ = true;
    return snapshot_;
}

std::optional<std::vector<PreferenceDictionary>> VirtualWindowServer::copyWindowInfo(std::uint32_t options) const {
    const auto& snapshot = reader_->current();
    const auto windows =
        composeWindows(snapshot.displays, snapshot.state, readAllPanels(reader_->paths()), continuousNowNs());
    std::vector<PreferenceDictionary> entries;
    entries.reserve(windows.size());
    for (const auto& window : windows) {
        if (options == kCGWindowListOptionOnScreenOnly && !window.onScreen) {
            continue;
        }
        entries.push_back({{kCGWindowBounds, boundsDictionary(window.bounds)},
                           {kCGWindowOwnerName, window.owner},
                           {kCGWindowLayer, static_cast<std::int64_t>(window.layer)},
                           {kCGWindowIsOnscreen, window.onScreen},
                           {kCGWindowAlpha, window.alpha},
                           {"kCGWindowOwnerPID", static_cast<std::int64_t>(window.pid)}});
    }
    return entries;
}

std::int32_t VirtualWindowServer::windowLevelForKey(int key) const {
    if (key == kCGMainMenuWindowLevelKey) {
        return kMainMenuWindowLevel;
    }
    return key == kCGDesktopIconWindowLevelKey ? kDesktopIconWindowLevel : 0;
}

VirtualScreens::VirtualScreens(std::shared_ptr<WindowServerReader> reader, VmacBus& bus) : reader_(std::move(reader)) {
    reread();
    subscription_ = bus.subscribe(kScreenParametersChanged, std::nullopt, [this](sd_bus_message* /*message*/) {
        reread();
        observers_->call();
    });
}

void VirtualScreens::reread() {
    const auto& snapshot = reader_->current();
    screens_.clear();
    for (const auto& layout : screenLayout(snapshot.displays, snapshot.state)) {
        screens_.push_back({layout.frame,
                            layout.visibleFrame,
                            layout.notch,
                            {{"NSScreenNumber", static_cast<std::int64_t>(layout.id)}}});
    }
}

Cancellable VirtualScreens::observeScreenParameters(std::function<void()> handler) {
    return observers_->add(std::move(handler));
}

Cancellable VirtualEventMonitors::addGlobalMonitor(std::uint64_t mask, std::function<void()> handler) {
    if ((mask & kNSEventMaskMouseMoved) == 0) {
        return {};
    }
    return bus_.subscribe(kMouseMoved, std::nullopt, [this, handler = std::move(handler)](sd_bus_message* message) {
        double x = 0;
        double y = 0;
        if (sd_bus_message_read(message, "dd", &x, &y) >= 0) {
            heard_ = Point{x, y};
        }
        handler();
    });
}

Cancellable VirtualEventMonitors::addLocalMonitor(std::uint64_t /*mask*/, std::function<void()> /*handler*/) {
    return {};
}

Point VirtualEventMonitors::mouseLocation() const {
    if (heard_) {
        return *heard_;
    }
    const auto& snapshot = reader_->current();
    const auto screens = screenLayout(snapshot.displays, snapshot.state);
    const double primaryHeight = screens.empty() ? 0 : screens.front().frame.size.height;
    return {snapshot.state.pointer.x, primaryHeight - snapshot.state.pointer.y};
}

RegisteredPanel::RegisteredPanel(PanelRegistry& registry, std::shared_ptr<WindowServerReader> reader,
                                 const PanelSettings& settings)
    : registry_(registry), reader_(std::move(reader)) {
    record_.level = settings.level;
    record_.frame = settings.contentRect;
    record_.collectionBehavior = settings.collectionBehavior;
    record_.content = describeContent(settings.content);
    record_.id = registry_.add(record_);
}

RegisteredPanel::~RegisteredPanel() {
    registry_.remove(record_.id);
}

void RegisteredPanel::orderFrontRegardless() {
    if (record_.orderedIn) {
        return;
    }
    const auto& snapshot = reader_->current();
    const auto screens = screenLayout(snapshot.displays, snapshot.state);
    const auto bounds = toQuartz(record_.frame, screens);
    if (const auto* stage = stageOf(snapshot.state, displayAt(screens, {bounds.midX(), bounds.midY()}))) {
        record_.space = stage->active;
    }
    record_.orderedIn = true;
    registry_.change(record_.id, record_);
}

void RegisteredPanel::orderOut() {
    if (record_.orderedIn) {
        record_.orderedIn = false;
        registry_.change(record_.id, record_);
    }
}

void RegisteredPanel::setAlphaValue(double alpha) {
    record_.alpha = alpha;
    registry_.change(record_.id, record_);
}

void RegisteredPanel::setFrameOrigin(Point origin) {
    record_.frame.origin = origin;
    registry_.change(record_.id, record_);
}

bool RegisteredPanel::isOnActiveSpace() const {
    if ((record_.collectionBehavior & CollectionBehavior::canJoinAllSpaces) != 0) {
        return true;
    }
    const auto& snapshot = reader_->current();
    const auto screens = screenLayout(snapshot.displays, snapshot.state);
    const auto bounds = toQuartz(record_.frame, screens);
    const auto* stage = stageOf(snapshot.state, displayAt(screens, {bounds.midX(), bounds.midY()}));
    return stage != nullptr && stage->active == record_.space;
}

}  // namespace lidora::vmac
