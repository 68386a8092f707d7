#include "platform/system/HardwareModel.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

std::filesystem::path hardwareFile(const VmacPaths& paths) {
    return paths.root() / "var" / "db" / "vmac" / "hardware.json";
}

std::filesystem::path withSuffix(const std::filesystem::path& file, std::string_view suffix) {
    auto path = file;
    path += std::string(suffix);
    return path;
}

Expected<std::string, std::string> decode(const std::filesystem::path& file, std::string_view text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object() || !json.value("model", nlohmann::json()).is_string()) {
        return unexpected(file.string() + " is damaged: it needs a string \"model\"");
    }
    auto model = json["model"].get<std::string>();
    if (auto valid = validateHardwareModel(model); !valid) {
        return unexpected(file.string() + ": " + valid.error());
    }
    return model;
}

}  // namespace

Expected<void, std::string> validateHardwareModel(std::string_view model) {
    if (model.empty()) {
        return unexpected(std::string("the model identifier is empty"));
    }
    if (model.size() > kMaxHardwareModelBytes) {
        return unexpected("the model identifier is longer than " + std::to_string(kMaxHardwareModelBytes) + " bytes");
    }
    const bool printable = std::all_of(model.begin(), model.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
    if (!printable) {
        return unexpected(std::string("the model identifier may only hold printable ASCII characters"));
    }
    return {};
}

Expected<std::string, std::string> readHardwareModel(const VmacPaths& paths) {
    const auto file = hardwareFile(paths);
    auto contents = readFileIfPresent(file);
    if (!contents) {
        return unexpected(contents.error());
    }
    if (!*contents) {
        return std::string(kDefaultHardwareModel);
    }
    return decode(file, (*contents)->bytes);
}

Expected<void, std::string> writeHardwareModel(const VmacPaths& paths, std::string_view model) {
    if (auto valid = validateHardwareModel(model); !valid) {
        return valid;
    }
    const auto file = hardwareFile(paths);
    if (!makeDirectories(file.parent_path())) {
        return unexpected(systemError("cannot create", file.parent_path()));
    }
    auto lock = FileLock::acquire(withSuffix(file, ".lock"));
    if (!lock) {
        return unexpected(lock.error());
    }
    const nlohmann::json json{{"model", std::string(model)}};
    return replaceFileAtomically(file, withSuffix(file, ".tmp"), json.dump(2) + "\n", 0644);
}

}  // namespace lidora::vmac
