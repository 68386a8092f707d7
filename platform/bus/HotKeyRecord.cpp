#include "platform/bus/HotKeyRecord.h"

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace lidora::vmac {

namespace {

// /proc/<pid>/stat: "pid (comm) state ... starttime" where starttime is the
// 22nd field and comm may hold spaces and parentheses.
struct ProcStat {
    char state = '?';
    std::uint64_t startTime = 0;
};

std::optional<ProcStat> readProcStat(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) {
        return std::nullopt;
    }
    const auto close = line.rfind(") ");
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(line.substr(close + 2));
    ProcStat stat;
    fields >> stat.state;
    std::string skipped;
    for (int field = 4; field < 22 && fields >> skipped; ++field) {
    }
    if (!(fields >> stat.startTime)) {
        return std::nullopt;
    }
    return stat;
}

}  // namespace

std::optional<ProcessIdentity> identifyProcess(pid_t pid) {
    const auto stat = readProcStat(pid);
    if (!stat) {
        return std::nullopt;
    }
    return ProcessIdentity{pid, stat->startTime};
}

bool processIsAlive(const ProcessIdentity& process) {
    const auto stat = readProcStat(process.pid);
    return stat && stat->startTime == process.startTime && stat->state != 'Z' && stat->state != 'X';
}

Expected<HotKeyRegistrations, std::string> decodeHotKeyRegistrations(std::string_view text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_object() || !json.contains("hotKeys") || !json["hotKeys"].is_array()) {
        return unexpected(std::string("not a record of hot keys"));
    }
    HotKeyRegistrations registrations;
    for (const auto& entry : json["hotKeys"]) {
        const bool complete = entry.is_object() && entry.value("keyCode", nlohmann::json()).is_number_unsigned() &&
                              entry.value("modifiers", nlohmann::json()).is_number_unsigned() &&
                              entry.value("pid", nlohmann::json()).is_number_unsigned() &&
                              entry.value("started", nlohmann::json()).is_number_unsigned() &&
                              entry.value("signature", nlohmann::json()).is_number_unsigned() &&
                              entry.value("id", nlohmann::json()).is_number_unsigned();
        if (!complete) {
            return unexpected(std::string("a hot key entry lacks a field"));
        }
        HotKeyRegistration registration;
        registration.combination = {entry["keyCode"].get<std::uint32_t>(), entry["modifiers"].get<std::uint32_t>()};
        registration.owner = {entry["pid"].get<pid_t>(), entry["started"].get<std::uint64_t>()};
        registration.process = entry.value("process", std::string());
        registration.id = {entry["signature"].get<std::uint32_t>(), entry["id"].get<std::uint32_t>()};
        registrations.push_back(std::move(registration));
    }
    return registrations;
}

std::string encodeHotKeyRegistrations(const HotKeyRegistrations& registrations) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& registration : registrations) {
        list.push_back({{"keyCode", registration.combination.keyCode},
                        {"modifiers", registration.combination.modifiers},
                        {"pid", registration.owner.pid},
                        {"started", registration.owner.startTime},
                        {"process", registration.process},
                        {"signature", registration.id.signature},
                        {"id", registration.id.id}});
    }
    return nlohmann::json{{"hotKeys", list}}.dump(2) + "\n";
}

std::optional<HotKeyRegistration> holderOf(const HotKeyRegistrations& registrations, const KeyCombination& combination,
                                           const IsAlive& isAlive) {
    for (const auto& registration : registrations) {
        if (registration.combination == combination && isAlive(registration.owner)) {
            return registration;
        }
    }
    return std::nullopt;
}

Expected<void, std::int32_t> addHotKeyRegistration(HotKeyRegistrations& registrations,
                                                   const HotKeyRegistration& registration, const IsAlive& isAlive) {
    std::erase_if(registrations, [&](const HotKeyRegistration& entry) { return !isAlive(entry.owner); });
    if (holderOf(registrations, registration.combination, isAlive)) {
        // Carbon refuses a combination that is taken, by this process too.
        return unexpected(kEventHotKeyExistsErr);
    }
    registrations.push_back(registration);
    return {};
}

HotKeyRecord::HotKeyRecord(const VmacPaths& paths, RecordFile<HotKeyRegistrations>::Warn warn)
    : file_(paths.root() / "var" / "db" / "vmac" / "hotkeys.json", decodeHotKeyRegistrations, encodeHotKeyRegistrations,
            0644, std::move(warn)) {}

Expected<void, HotKeyRecord::Refusal> HotKeyRecord::add(const HotKeyRegistration& registration) {
    std::int32_t refused = kNoErr;
    auto updated = file_.update([&](HotKeyRegistrations& registrations) {
        auto added = addHotKeyRegistration(registrations, registration, processIsAlive);
        if (!added) {
            refused = added.error();
            return false;
        }
        return true;
    });
    if (!updated) {
        return unexpected(Refusal{kEventInternalErr, updated.error()});
    }
    if (refused != kNoErr) {
        return unexpected(Refusal{refused, describeKeyCombination(registration.combination) + " is taken"});
    }
    return {};
}

Expected<void, std::string> HotKeyRecord::removeAllOf(const ProcessIdentity& owner) {
    return file_.update([&owner](HotKeyRegistrations& registrations) {
        return std::erase_if(registrations, [&owner](const auto& entry) { return entry.owner == owner; }) != 0;
    });
}

}  // namespace lidora::vmac
