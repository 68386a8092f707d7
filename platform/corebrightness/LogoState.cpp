#include "platform/corebrightness/LogoState.h"

#include <nlohmann/json.hpp>

namespace lidora::vmac {

namespace {

using Json = nlohmann::json;

constexpr mode_t kStateMode = 0644;

Json tableJson(const BrightnessTable& table) {
    Json points = Json::array();
    for (const auto& point : table) {
        points.push_back(point);
    }
    return points;
}

std::optional<BrightnessTable> tableFrom(const Json& json) {
    if (!json.is_array()) {
        return std::nullopt;
    }
    BrightnessTable table;
    for (const auto& point : json) {
        if (!point.is_array()) {
            return std::nullopt;
        }
        BrightnessPoint numbers;
        for (const auto& number : point) {
            if (!number.is_number()) {
                return std::nullopt;
            }
            numbers.push_back(number.get<double>());
        }
        table.push_back(std::move(numbers));
    }
    return table;
}

}  // namespace

Expected<PublishedLogoState, std::string> decodeLogoState(std::string_view text) {
    const auto json = Json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return unexpected(std::string("not a logo state"));
    }
    if (json.empty()) {
        return PublishedLogoState{};
    }
    const auto number = [&](const char* key) { return json.contains(key) && json[key].is_number(); };
    if (!json.contains("lit") || !json["lit"].is_boolean() || !number("nits") || !number("displayBrightness") ||
        !number("ambientLux") || !json.contains("evaluatedAtMs") || !json["evaluatedAtMs"].is_number_integer() ||
        !json.contains("curve") || !json.contains("floor")) {
        return unexpected(std::string("a logo state lacks one of its fields"));
    }
    auto curve = tableFrom(json["curve"]);
    auto floor = tableFrom(json["floor"]);
    if (!curve || !floor) {
        return unexpected(std::string("a logo state's tables are not lists of points"));
    }
    LogoState state;
    state.lit = json["lit"].get<bool>();
    state.nits = json["nits"].get<double>();
    state.tables = BrightnessTables{std::move(*curve), std::move(*floor)};
    state.displayBrightness = json["displayBrightness"].get<double>();
    state.ambientLux = json["ambientLux"].get<double>();
    state.evaluatedAtMs = json["evaluatedAtMs"].get<std::int64_t>();
    if (json.contains("reason") && json["reason"].is_string()) {
        state.reason = json["reason"].get<std::string>();
    }
    return PublishedLogoState(std::move(state));
}

std::string encodeLogoState(const PublishedLogoState& state) {
    if (!state) {
        return "{}\n";
    }
    const Json json = {{"lit", state->lit},
                       {"nits", state->nits},
                       {"curve", tableJson(state->tables.curve)},
                       {"floor", tableJson(state->tables.floor)},
                       {"displayBrightness", state->displayBrightness},
                       {"ambientLux", state->ambientLux},
                       {"evaluatedAtMs", state->evaluatedAtMs},
                       {"reason", state->reason}};
    return json.dump(2) + "\n";
}

std::filesystem::path logoStateFolder(const VmacPaths& paths) {
    return paths.runDirectory() / "corebrightnessd";
}

RecordFile<PublishedLogoState> logoStateRecord(const VmacPaths& paths, RecordFile<PublishedLogoState>::Warn warn) {
    return RecordFile<PublishedLogoState>(logoStateFolder(paths) / std::string(kLogoStateFileName), decodeLogoState,
                                          encodeLogoState, kStateMode, std::move(warn));
}

}  // namespace lidora::vmac
