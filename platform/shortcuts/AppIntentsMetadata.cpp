#include "platform/shortcuts/AppIntentsMetadata.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/system/VirtualProcessEnvironment.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

using nlohmann::json;

constexpr int kFormatVersion = 1;

std::string_view typeName(ParameterKind kind) {
    switch (kind) {
        case ParameterKind::appEnum: return "enum";
        case ParameterKind::integer: return "integer";
        case ParameterKind::text: return "text";
        case ParameterKind::boolean: return "boolean";
    }
    return "text";
}

std::vector<std::string> strings(std::span<const std::string_view> views) {
    return {views.begin(), views.end()};
}

json toJson(const CatalogParameter& p) {
    json out{{"name", p.name},
             {"title", p.title},
             {"type", p.type},
             {"optional", p.optional},
             {"description", p.description},
             {"requestValueDialog", p.requestValueDialog}};
    if (!p.enumIdentifier.empty()) {
        out["enum"] = p.enumIdentifier;
    }
    if (p.range) {
        out["inclusiveRange"] = json::array({p.range->minimum, p.range->maximum});
        out["control"] = "stepper";
    }
    return out;
}

CatalogParameter parameterFrom(const json& in) {
    CatalogParameter p;
    p.name = in.at("name").get<std::string>();
    p.title = in.at("title").get<std::string>();
    p.type = in.at("type").get<std::string>();
    p.optional = in.at("optional").get<bool>();
    p.description = in.at("description").get<std::string>();
    p.requestValueDialog = in.at("requestValueDialog").get<std::string>();
    if (in.contains("enum")) {
        p.enumIdentifier = in.at("enum").get<std::string>();
    }
    if (in.contains("inclusiveRange")) {
        const auto& range = in.at("inclusiveRange");
        p.range = CatalogRange{range.at(0).get<std::int64_t>(), range.at(1).get<std::int64_t>()};
    }
    return p;
}

Expected<void, std::string> checkConsistent(const ShortcutsCatalog& catalog) {
    for (const auto& action : catalog.actions) {
        for (const auto& p : action.parameters) {
            const bool known = p.type == "integer" || p.type == "text" || p.type == "boolean" ||
                               (p.type == "enum" && catalog.enumeration(p.enumIdentifier) != nullptr);
            if (!known) {
                return unexpected("parameter " + p.name + " of " + action.identifier + " has an unknown type");
            }
        }
    }
    for (const auto& shortcut : catalog.shortcuts) {
        if (catalog.actionByIdentifier(shortcut.action) == nullptr) {
            return unexpected("App Shortcut for an unknown action " + shortcut.action);
        }
    }
    return {};
}

}  // namespace

std::filesystem::path appIntentsMetadataPath(const std::filesystem::path& bundle) {
    return bundle / "Contents" / "Resources" / "Metadata.appintents" / "extract.actionsdata";
}

ShortcutsCatalog catalogOf(std::span<const ShortcutsAction> actions, std::span<const AppEnum* const> enums,
                           std::span<const AppShortcut> shortcuts) {
    ShortcutsCatalog catalog;
    for (const auto* e : enums) {
        CatalogEnum out{std::string(e->identifier), std::string(e->typeDisplayName), {}};
        for (const auto& c : e->cases) {
            out.cases.push_back(
                {std::string(c.rawValue), std::string(c.title), std::string(c.subtitle), strings(c.synonyms)});
        }
        catalog.enums.push_back(std::move(out));
    }
    for (const auto& action : actions) {
        CatalogAction out;
        out.identifier = action.identifier;
        out.title = action.title;
        out.summary = action.summary.text;
        out.summaryListed = strings(action.summary.listed);
        out.openAppWhenRun = action.openAppWhenRun;
        for (const auto& p : action.parameters) {
            CatalogParameter parameter;
            parameter.name = p.name;
            parameter.title = p.title;
            parameter.type = typeName(p.kind);
            parameter.enumIdentifier = p.appEnum != nullptr ? std::string(p.appEnum->identifier) : std::string();
            parameter.optional = p.optional;
            parameter.description = p.description;
            parameter.requestValueDialog = p.requestValueDialog;
            if (p.range) {
                parameter.range = CatalogRange{p.range->minimum, p.range->maximum};
            }
            out.parameters.push_back(std::move(parameter));
        }
        catalog.actions.push_back(std::move(out));
    }
    for (const auto& shortcut : shortcuts) {
        catalog.shortcuts.push_back({std::string(shortcut.action), strings(shortcut.phrases),
                                     std::string(shortcut.shortTitle), std::string(shortcut.systemImageName)});
    }
    return catalog;
}

std::string metadataJson(const ShortcutsCatalog& catalog) {
    json actions = json::array();
    for (const auto& action : catalog.actions) {
        json parameters = json::array();
        for (const auto& p : action.parameters) {
            parameters.push_back(toJson(p));
        }
        actions.push_back({{"identifier", action.identifier},
                           {"title", action.title},
                           {"openAppWhenRun", action.openAppWhenRun},
                           {"parameters", parameters},
                           {"parameterSummary", {{"text", action.summary}, {"listed", action.summaryListed}}}});
    }
    json enums = json::array();
    for (const auto& e : catalog.enums) {
        json cases = json::array();
        for (const auto& c : e.cases) {
            cases.push_back(
                {{"rawValue", c.rawValue}, {"title", c.title}, {"subtitle", c.subtitle}, {"synonyms", c.synonyms}});
        }
        enums.push_back({{"identifier", e.identifier}, {"typeDisplayName", e.typeDisplayName}, {"cases", cases}});
    }
    json shortcuts = json::array();
    for (const auto& s : catalog.shortcuts) {
        shortcuts.push_back({{"action", s.action},
                             {"phrases", s.phrases},
                             {"shortTitle", s.shortTitle},
                             {"systemImageName", s.systemImageName}});
    }
    const json document{
        {"version", kFormatVersion}, {"actions", actions}, {"enums", enums}, {"appShortcuts", shortcuts}};
    return document.dump(2) + "\n";
}

Expected<ShortcutsCatalog, std::string> parseMetadata(std::string_view text) {
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        return unexpected(std::string("not a JSON object"));
    }
    ShortcutsCatalog catalog;
    try {
        if (document.at("version").get<int>() != kFormatVersion) {
            return unexpected(std::string("unknown format version"));
        }
        for (const auto& e : document.at("enums")) {
            CatalogEnum out{e.at("identifier").get<std::string>(), e.at("typeDisplayName").get<std::string>(), {}};
            for (const auto& c : e.at("cases")) {
                out.cases.push_back({c.at("rawValue").get<std::string>(), c.at("title").get<std::string>(),
                                     c.at("subtitle").get<std::string>(),
                                     c.at("synonyms").get<std::vector<std::string>>()});
            }
            catalog.enums.push_back(std::move(out));
        }
        for (const auto& a : document.at("actions")) {
            CatalogAction out;
            out.identifier = a.at("identifier").get<std::string>();
            out.title = a.at("title").get<std::string>();
            out.openAppWhenRun = a.at("openAppWhenRun").get<bool>();
            for (const auto& p : a.at("parameters")) {
                out.parameters.push_back(parameterFrom(p));
            }
            out.summary = a.at("parameterSummary").at("text").get<std::string>();
            out.summaryListed = a.at("parameterSummary").at("listed").get<std::vector<std::string>>();
            catalog.actions.push_back(std::move(out));
        }
        for (const auto& s : document.at("appShortcuts")) {
            catalog.shortcuts.push_back(
                {s.at("action").get<std::string>(), s.at("phrases").get<std::vector<std::string>>(),
                 s.at("shortTitle").get<std::string>(), s.at("systemImageName").get<std::string>()});
        }
    } catch (const json::exception& error) {
        return unexpected(std::string(error.what()));
    }
    if (auto consistent = checkConsistent(catalog); !consistent) {
        return unexpected(consistent.error());
    }
    return catalog;
}

std::vector<ShortcutsApp> installedShortcutsApps(const VmacPaths& paths,
                                                 const std::function<void(const std::string&)>& warn) {
    constexpr std::size_t kLargestMetadata = std::size_t{1} << 20U;
    std::vector<ShortcutsApp> apps;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(paths.applications(), error)) {
        const auto& bundle = entry.path();
        if (bundle.extension() != ".app") {
            continue;
        }
        const auto file = readFileIfPresent(appIntentsMetadataPath(bundle));
        if (!file || !*file) {
            if (!file) {
                warn(file.error());
            }
            continue;
        }
        if ((*file)->bytes.size() > kLargestMetadata) {
            warn(appIntentsMetadataPath(bundle).string() + ": too large");
            continue;
        }
        auto catalog = parseMetadata((*file)->bytes);
        if (!catalog) {
            warn(appIntentsMetadataPath(bundle).string() + ": " + catalog.error());
            continue;
        }
        const auto info = readBundleInfo(bundle);
        auto entryText = [&](std::string_view key) {
            const auto found = info.find(key);
            const auto* text = found == info.end() ? nullptr : found->second.asString();
            return text == nullptr ? std::string() : *text;
        };
        ShortcutsApp app{bundle, entryText("CFBundleName"), entryText("CFBundleIdentifier"), std::move(*catalog)};
        if (app.name.empty()) {
            app.name = bundle.stem().string();
        }
        apps.push_back(std::move(app));
    }
    std::sort(apps.begin(), apps.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return apps;
}

}  // namespace lidora::vmac
