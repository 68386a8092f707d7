#include "platform/bus/ControlReloadRecord.h"

#include <nlohmann/json.hpp>

namespace lidora::vmac {

Expected<ControlReloadCounts, std::string> decodeControlReloads(std::string_view text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_object() || !json.contains("reloads") || !json["reloads"].is_object()) {
        return unexpected(std::string("not a record of control reloads"));
    }
    ControlReloadCounts counts;
    for (const auto& [kind, count] : json["reloads"].items()) {
        if (!count.is_number_unsigned()) {
            return unexpected("the count of " + kind + " is not a number");
        }
        counts.emplace(kind, count.get<std::uint64_t>());
    }
    return counts;
}

std::string encodeControlReloads(const ControlReloadCounts& counts) {
    nlohmann::json reloads = nlohmann::json::object();
    for (const auto& [kind, count] : counts) {
        reloads[kind] = count;
    }
    return nlohmann::json{{"reloads", reloads}}.dump(2) + "\n";
}

ControlReloadRecord::ControlReloadRecord(const VmacPaths& paths, RecordFile<ControlReloadCounts>::Warn warn)
    // A count lost to a power cut matters to nobody; a reload must be quick.
    : file_(paths.root() / "var" / "db" / "vmac" / "control-reloads.json", decodeControlReloads, encodeControlReloads,
            0644, std::move(warn), Durability::unflushed) {}

Expected<void, std::string> ControlReloadRecord::countReload(std::string_view kind) {
    if (kind.empty()) {
        return unexpected(std::string("a control kind cannot be empty"));
    }
    return file_.update([kind](ControlReloadCounts& counts) {
        auto found = counts.find(kind);
        if (found == counts.end()) {
            counts.emplace(std::string(kind), 1);
        } else {
            ++found->second;
        }
        return true;
    });
}

}  // namespace lidora::vmac
