#include "platform/log/LogWire.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/log/UnifiedLogStore.h"

namespace lidora::vmac {

namespace {

bool isPrintableName(const std::string& name) {
    return name.size() <= kMaxLogNameBytes && std::all_of(name.begin(), name.end(), [](char c) {
               return static_cast<unsigned char>(c) >= 0x20 && c != 0x7f;
           });
}

std::string dumped(const nlohmann::json& json) {
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<std::uint64_t> tokenOf(const nlohmann::json& json) {
    if (json.is_object() && json.size() == 1 && json.contains("sync") && json["sync"].is_number_unsigned()) {
        return json["sync"].get<std::uint64_t>();
    }
    return std::nullopt;
}

}  // namespace

std::string encodeLogDatagram(const LogRecord& record) {
    nlohmann::json json = {{"subsystem", record.subsystem.substr(0, kMaxLogNameBytes)},
                           {"category", record.category.substr(0, kMaxLogNameBytes)},
                           {"level", std::string(logLevelName(record.level))},
                           {"message", record.message}};
    auto text = dumped(json);
    if (text.size() <= kMaxLogDatagram) {
        return text;
    }
    // Escapes grow the text: shrink the message in proportion until it fits.
    std::size_t keep = record.message.size();
    while (text.size() > kMaxLogDatagram && keep > 0) {
        keep = keep * (kMaxLogDatagram - 64) / text.size();
        json["message"] = record.message.substr(0, keep) + "…";
        text = dumped(json);
    }
    return text;
}

std::string encodeLogSync(std::uint64_t token) {
    return dumped({{"sync", token}});
}

std::string encodeLogSyncReply(std::uint64_t token) {
    return dumped({{"sync", token}});
}

std::optional<std::uint64_t> decodeLogSyncReply(std::string_view datagram) {
    return tokenOf(nlohmann::json::parse(datagram, nullptr, false));
}

Expected<LogDatagram, std::string> decodeLogDatagram(std::string_view datagram) {
    if (datagram.size() > kMaxLogDatagram) {
        return unexpected(std::string("datagram too long"));
    }
    const auto json = nlohmann::json::parse(datagram, nullptr, false);
    if (!json.is_object()) {
        return unexpected(std::string("not a JSON object"));
    }
    if (auto token = tokenOf(json)) {
        return LogDatagram(LogSyncRequest{*token});
    }
    const auto text = [&](const char* key) -> std::optional<std::string> {
        const auto value = json.find(key);
        return value != json.end() && value->is_string() ? std::optional(value->get<std::string>()) : std::nullopt;
    };
    auto subsystem = text("subsystem");
    auto category = text("category");
    auto message = text("message");
    const auto levelName = text("level");
    const auto level = levelName ? logLevelFromName(*levelName) : std::nullopt;
    if (!subsystem || !category || !message || !level) {
        return unexpected(std::string("a record needs subsystem, category, level and message strings"));
    }
    if (!isPrintableName(*subsystem) || !isPrintableName(*category)) {
        return unexpected(std::string("subsystem and category are short printable names"));
    }
    // Anything else a sender adds (a pid, a process name) is ignored: the
    // service stamps those itself.
    return LogDatagram(LogRecord{std::move(*subsystem), std::move(*category), *level, std::move(*message)});
}

}  // namespace lidora::vmac
