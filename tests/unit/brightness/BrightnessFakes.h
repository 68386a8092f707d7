#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/brightness/CoreBrightnessBackend.h"
#include "tests/support/MemoryDefaults.h"

namespace lidora::testing {

// One display whose brightness the getter reads and the setter records.
struct FakeDisplay final : DisplayBrightnessGetter, DisplayBrightnessSetter, DisplayList {
    std::int32_t operator()(DisplayID, float* value) override {
        *value = brightness;
        return readError;
    }
    std::int32_t operator()(DisplayID id, float value) override {
        writes.emplace_back(id, value);
        brightness = value;
        return 0;
    }
    Expected<std::vector<DisplayID>, std::int32_t> onlineDisplays(std::uint32_t) const override {
        if (listError != 0) {
            return unexpected(listError);
        }
        return online;
    }
    bool isBuiltin(DisplayID id) const override { return id == builtIn; }

    float brightness = 0.8F;
    std::int32_t readError = 0;
    std::int32_t listError = 0;
    std::vector<DisplayID> online{5, 1};
    DisplayID builtIn = 1;
    std::vector<std::pair<DisplayID, float>> writes;
};

// The logo tables as the brightness daemon holds them.
class FakeBackend final : public LogoBrightnessBackend {
public:
    std::optional<BrightnessTable> copyProperty(std::string_view key) override {
        ++reads;
        const auto found = tables.find(key);
        return found == tables.end() ? std::nullopt : std::optional(found->second);
    }
    bool setProperty(const BrightnessTable& table, std::string_view key) override {
        if (refused.count(std::string(key)) != 0) {
            return false;
        }
        ++writes;
        tables.insert_or_assign(std::string(key), table);
        return true;
    }
    std::optional<float> displayBrightness() override { return display; }
    void setDisplayBrightness(float value) override {
        displayWrites.push_back(value);
        display = value;
    }
    void nudge() override { ++nudges; }

    std::map<std::string, BrightnessTable, std::less<>> tables;
    std::set<std::string> refused;
    std::optional<float> display;  // none: no built-in display to read
    std::vector<float> displayWrites;
    int reads = 0;
    int writes = 0;
    int nudges = 0;
};

}  // namespace lidora::testing
