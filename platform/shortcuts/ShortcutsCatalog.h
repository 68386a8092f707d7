#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lidora::vmac {

// What Shortcuts knows about an app's actions without running it: the
// App Intents metadata in its bundle.

struct CatalogEnumCase {
    std::string rawValue;
    std::string title;
    std::string subtitle;
    std::vector<std::string> synonyms;
    friend bool operator==(const CatalogEnumCase&, const CatalogEnumCase&) = default;
};

struct CatalogEnum {
    std::string identifier;
    std::string typeDisplayName;
    std::vector<CatalogEnumCase> cases;
    friend bool operator==(const CatalogEnum&, const CatalogEnum&) = default;
};

struct CatalogRange {
    std::int64_t minimum = 0;
    std::int64_t maximum = 0;
    friend bool operator==(const CatalogRange&, const CatalogRange&) = default;
};

struct CatalogParameter {
    std::string name;
    std::string title;
    std::string type;  // "enum", "integer", "text" or "boolean"
    std::string enumIdentifier;
    bool optional = false;
    std::string description;
    std::string requestValueDialog;
    std::optional<CatalogRange> range;
    friend bool operator==(const CatalogParameter&, const CatalogParameter&) = default;
};

struct CatalogAction {
    std::string identifier;
    std::string title;
    std::vector<CatalogParameter> parameters;
    std::string summary;
    std::vector<std::string> summaryListed;
    bool openAppWhenRun = false;
    friend bool operator==(const CatalogAction&, const CatalogAction&) = default;
};

struct CatalogShortcut {
    std::string action;
    std::vector<std::string> phrases;
    std::string shortTitle;
    std::string systemImageName;
    friend bool operator==(const CatalogShortcut&, const CatalogShortcut&) = default;
};

struct ShortcutsCatalog {
    std::vector<CatalogAction> actions;
    std::vector<CatalogEnum> enums;
    std::vector<CatalogShortcut> shortcuts;
    friend bool operator==(const ShortcutsCatalog&, const ShortcutsCatalog&) = default;

    [[nodiscard]] const CatalogAction* actionByIdentifier(std::string_view identifier) const;
    // Titles as the user types them: case does not matter.
    [[nodiscard]] const CatalogAction* actionByTitle(std::string_view title) const;
    [[nodiscard]] const CatalogEnum* enumeration(std::string_view identifier) const;
};

// An installed app that offers actions.
struct ShortcutsApp {
    std::filesystem::path bundle;
    std::string name;  // what phrases call it: CFBundleName, else the bundle's name
    std::string bundleIdentifier;
    ShortcutsCatalog catalog;
};

}  // namespace lidora::vmac
