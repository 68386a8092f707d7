#include "platform/windowserver/PanelRegistry.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

constexpr std::size_t kMaxApps = 256;
constexpr std::size_t kMaxPanels = 64;

bool alive(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// Run-time state that dies with the process: a rename without flushing.
void writeQuickly(const std::filesystem::path& target, const std::string& bytes) {
    auto temporary = target;
    temporary += ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "we");
    if (file == nullptr) {
        return;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) == 0 && written) {
        std::error_code error;
        std::filesystem::rename(temporary, target, error);
    }
}

}  // namespace

std::filesystem::path panelsFolder(const VmacPaths& paths) {
    return paths.root() / "var" / "run" / "windowserver" / "windows";
}

std::filesystem::path backingStore(const VmacPaths& paths, pid_t pid, std::uint64_t id) {
    return panelsFolder(paths) / (std::to_string(pid) + "-" + std::to_string(id) + ".png");
}

std::string describeContent(const std::optional<LogoContent>& content) {
    if (!content) {
        return "";
    }
    if (content->style.isRainbow()) {
        return "rainbow";
    }
    const auto& c = *content->style.solid;
    char text[96];
    std::snprintf(text, sizeof text, "solid %.4f %.4f %.4f %.4f", c.red, c.green, c.blue, c.alpha);
    return text;
}

std::optional<LogoContent> contentFrom(const std::string& text) {
    if (text == "rainbow") {
        return LogoContent{Style::rainbow(), Placement{}};
    }
    Color color;
    if (std::sscanf(text.c_str(), "solid %lf %lf %lf %lf", &color.red, &color.green, &color.blue, &color.alpha) == 4) {
        return LogoContent{Style::solidColor(color), Placement{}};
    }
    return std::nullopt;
}

PanelRegistry::PanelRegistry(VmacPaths paths, std::string owner) : paths_(std::move(paths)), owner_(std::move(owner)) {}

PanelRegistry::~PanelRegistry() {
    std::error_code error;
    for (const auto& panel : panels_) {
        std::filesystem::remove(backingStore(paths_, ::getpid(), panel.id), error);
    }
    std::filesystem::remove(panelsFolder(paths_) / (std::to_string(::getpid()) + ".json"), error);
}

std::uint64_t PanelRegistry::add(PanelRecord record) {
    record.id = next_++;
    panels_.push_back(record);
    write();
    return record.id;
}

void PanelRegistry::change(std::uint64_t id, const PanelRecord& record) {
    for (auto& panel : panels_) {
        if (panel.id == id && panel != record) {
            panel = record;
            panel.id = id;
            write();
        }
    }
}

void PanelRegistry::remove(std::uint64_t id) {
    std::error_code error;
    std::filesystem::remove(backingStore(paths_, ::getpid(), id), error);
    std::erase_if(panels_, [id](const PanelRecord& panel) { return panel.id == id; });
    write();
}

void PanelRegistry::write() const {
    const auto folder = panelsFolder(paths_);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    nlohmann::json panels = nlohmann::json::array();
    for (const auto& p : panels_) {
        panels.push_back({{"id", p.id},
                          {"level", p.level},
                          {"frame", {p.frame.origin.x, p.frame.origin.y, p.frame.size.width, p.frame.size.height}},
                          {"alpha", p.alpha},
                          {"collectionBehavior", p.collectionBehavior},
                          {"orderedIn", p.orderedIn},
                          {"space", p.space},
                          {"content", p.content}});
    }
    const nlohmann::json json = {{"pid", ::getpid()}, {"owner", owner_}, {"panels", std::move(panels)}};
    writeQuickly(folder / (std::to_string(::getpid()) + ".json"), json.dump());
}

std::vector<AppPanels> readAllPanels(const VmacPaths& paths) {
    std::vector<AppPanels> apps;
    std::error_code error;
    std::filesystem::directory_iterator entries(panelsFolder(paths), error);
    if (error) {
        return apps;
    }
    for (const auto& entry : entries) {
        if (apps.size() >= kMaxApps || entry.path().extension() != ".json") {
            continue;
        }
        const auto contents = readFileIfPresent(entry.path());
        if (!contents || !*contents) {
            continue;
        }
        const auto json = nlohmann::json::parse((*contents)->bytes, nullptr, false);
        try {
            AppPanels app{json.at("pid").get<pid_t>(), json.at("owner").get<std::string>(), {}};
            if (!alive(app.pid)) {
                continue;
            }
            for (const auto& p : json.at("panels")) {
                if (app.panels.size() >= kMaxPanels) {
                    break;
                }
                const auto& f = p.at("frame");
                app.panels.push_back({p.at("id").get<std::uint64_t>(), p.at("level").get<std::int32_t>(),
                                      Rect{{f.at(0).get<double>(), f.at(1).get<double>()},
                                           {f.at(2).get<double>(), f.at(3).get<double>()}},
                                      p.at("alpha").get<double>(), p.at("collectionBehavior").get<std::uint64_t>(),
                                      p.at("orderedIn").get<bool>(), p.at("space").get<std::uint32_t>(),
                                      p.at("content").get<std::string>()});
            }
            apps.push_back(std::move(app));
        } catch (const nlohmann::json::exception&) {
            // A list being replaced or damaged shows no panels.
        }
    }
    std::sort(apps.begin(), apps.end(), [](const AppPanels& a, const AppPanels& b) { return a.pid < b.pid; });
    return apps;
}

}  // namespace lidora::vmac
