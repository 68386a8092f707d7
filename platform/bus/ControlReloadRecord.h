#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "core/runtime/Expected.h"
#include "platform/prefs/RecordFile.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// How many reloads apps asked for, per control kind.
using ControlReloadCounts = std::map<std::string, std::uint64_t, std::less<>>;

Expected<ControlReloadCounts, std::string> decodeControlReloads(std::string_view text);
std::string encodeControlReloads(const ControlReloadCounts& counts);

// The record every app's reloads go to, under var/db.
class ControlReloadRecord {
public:
    explicit ControlReloadRecord(const VmacPaths& paths, RecordFile<ControlReloadCounts>::Warn warn = {});

    Expected<void, std::string> countReload(std::string_view kind);
    [[nodiscard]] Expected<ControlReloadCounts, std::string> read() const { return file_.read(); }

private:
    RecordFile<ControlReloadCounts> file_;
};

}  // namespace lidora::vmac
