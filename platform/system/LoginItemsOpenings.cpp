#include "platform/system/LoginItemsOpenings.h"

#include <ctime>
#include <nlohmann/json.hpp>

#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

std::filesystem::path openingsFile(const VmacPaths& paths, uid_t uid) {
    return paths.root() / "var" / "db" / "vmac" / "settings" / (std::to_string(uid) + ".json");
}

std::filesystem::path withSuffix(const std::filesystem::path& file, std::string_view suffix) {
    auto path = file;
    path += std::string(suffix);
    return path;
}

Expected<LoginItemsOpenings, std::string> decode(const std::filesystem::path& file, std::string_view text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object() || !json.value("count", nlohmann::json()).is_number_integer() ||
        !json.value("last", nlohmann::json()).is_string() || json["count"].get<std::int64_t>() < 0) {
        return unexpected(file.string() + " is damaged: it needs a \"count\" and a \"last\" time");
    }
    return LoginItemsOpenings{json["count"].get<std::int64_t>(), json["last"].get<std::string>()};
}

}  // namespace

Expected<std::optional<LoginItemsOpenings>, std::string> readLoginItemsOpenings(const VmacPaths& paths, uid_t uid) {
    const auto file = openingsFile(paths, uid);
    auto contents = readFileIfPresent(file);
    if (!contents) {
        return unexpected(contents.error());
    }
    if (!*contents) {
        return std::optional<LoginItemsOpenings>();
    }
    auto decoded = decode(file, (*contents)->bytes);
    if (!decoded) {
        return unexpected(decoded.error());
    }
    return std::optional<LoginItemsOpenings>(std::move(decoded).value());
}

Expected<LoginItemsOpenings, std::string> recordLoginItemsOpening(const VmacPaths& paths, uid_t uid,
                                                                  const std::string& when) {
    const auto file = openingsFile(paths, uid);
    if (!makeSharedDirectory(file.parent_path())) {
        return unexpected(systemError("cannot create", file.parent_path()));
    }
    auto lock = FileLock::acquire(withSuffix(file, ".lock"));
    if (!lock) {
        return unexpected(lock.error());
    }
    // A damaged record is reported, not silently restarted from zero.
    auto current = readLoginItemsOpenings(paths, uid);
    if (!current) {
        return unexpected(current.error());
    }
    LoginItemsOpenings next{current->value_or(LoginItemsOpenings{}).count + 1, when};
    const nlohmann::json json{{"count", next.count}, {"last", next.last}};
    if (auto written = replaceFileAtomically(file, withSuffix(file, ".tmp"), json.dump(2) + "\n", 0644); !written) {
        return unexpected(written.error());
    }
    return next;
}

std::string describeLoginItemsOpenings(const std::optional<LoginItemsOpenings>& openings) {
    if (!openings || openings->count == 0) {
        return "System Settings was never opened at Login Items & Extensions";
    }
    return "System Settings was opened at Login Items & Extensions " + std::to_string(openings->count) +
           (openings->count == 1 ? " time" : " times") + ", last at " + openings->last;
}

std::string localTimestampNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[64];
    const auto length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local);
    return std::string(text, length);
}

}  // namespace lidora::vmac
