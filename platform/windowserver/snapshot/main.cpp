// screen-snapshot: the picture `vmac screen` saves, the top of a display as
// the user sees it, the window server's windows composited back to front.
// A program of its own so that vmac itself does not load Qt.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/SymbolCatalog.h"
#include "platform/vmac/VmacPaths.h"
#include "platform/windowserver/VirtualWindowServer.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac screen [--display ID] [--scale 1|2] [--width POINTS] --png FILE\n\n"
    "Saves the top strip of a display (the primary one by default), as tall as its\n"
    "menu bar, at 2 pixels a point unless told: the desktop or the full-screen app,\n"
    "the menu bar with the Apple menu's logo where it is shown, the menu-bar cover,\n"
    "and every panel on screen there, composited with its alpha. --width keeps only\n"
    "the leftmost POINTS of it.\n";

const QColor kWallpaper(58, 96, 160);
const QColor kAppContent(44, 44, 46);
const QColor kMenuBar(246, 246, 246, 220);
const QColor kMenuTitle(40, 40, 40, 200);
const QColor kCover(30, 30, 30);

void drawMenuBar(QPainter& painter, const QRectF& bar, double scale) {
    painter.fillRect(bar, kMenuBar);
    // The Apple menu: the system's logo at its usual place, then titles.
    const auto symbol = app::SymbolCatalog::render("apple.logo", 16, scale * 4, Qt::black, Qt::black);
    const QSizeF logo(14.6, 16.9);
    painter.drawImage(QRectF(bar.left() + 27.15 - logo.width() / 2, bar.center().y() - logo.height() / 2 - 0.5,
                             logo.width(), logo.height()),
                      symbol);
    double x = bar.left() + 54;
    for (const double width : {38.0, 24.0, 26.0, 30.0, 34.0, 30.0}) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(kMenuTitle);
        painter.drawRoundedRect(QRectF(x, bar.center().y() - 4, width, 8), 2, 2);
        x += width + 16;
    }
}

int snapshot(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    for (const auto& argument : arguments) {
        if (argument == "--help" || argument == "-h" || argument == "help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    std::optional<DisplayID> display;
    std::string file;
    double scale = 2;
    std::optional<double> width;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const bool hasValue = i + 1 < arguments.size();
        if (arguments[i] == "--display" && hasValue) {
            const auto id = std::strtoul(arguments[++i].c_str(), nullptr, 10);
            display = id > 0 && id <= UINT32_MAX ? std::optional(static_cast<DisplayID>(id)) : std::nullopt;
            if (!display) {
                std::fprintf(stderr, "vmac screen: --display takes a display id\n");
                return 64;
            }
        } else if (arguments[i] == "--width" && hasValue) {
            char* end = nullptr;
            width = std::strtod(arguments[++i].c_str(), &end);
            if (end == arguments[i].c_str() || *end != '\0' || !(*width > 0 && *width <= 100000)) {
                std::fprintf(stderr, "vmac screen: --width takes a number of points\n");
                return 64;
            }
        } else if (arguments[i] == "--png" && hasValue) {
            file = arguments[++i];
        } else if (arguments[i] == "--scale" && hasValue && (arguments[i + 1] == "1" || arguments[i + 1] == "2")) {
            scale = arguments[++i] == "1" ? 1 : 2;
        } else {
            std::fprintf(stderr, "vmac screen: unexpected '%s'\n%s", arguments[i].c_str(), kUsage);
            return 64;
        }
    }
    if (file.empty()) {
        std::fprintf(stderr, "vmac screen: say where the picture goes with --png FILE\n%s", kUsage);
        return 64;
    }
    WindowServerReader reader(paths);
    const auto& snapshot = reader.current();
    const auto screens = screenLayout(snapshot.displays, snapshot.state);
    const auto screen = std::find_if(screens.begin(), screens.end(),
                                     [&](const ScreenLayout& s) { return !display || s.id == *display; });
    if (screen == screens.end()) {
        std::fprintf(stderr, "vmac screen: %s\n", display ? "no such display is online" : "no display is online");
        return 1;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt's own chatter (a missing runtime folder) is no business of ours.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    int argc = 1;
    char name[] = "vmac";
    char* argv[] = {name, nullptr};
    const QGuiApplication gui(argc, argv);

    const auto& r = screen->quartz;
    const QSizeF strip(r.size.width, screen->menuBarHeight);
    QImage image(static_cast<int>(strip.width() * scale), static_cast<int>(strip.height() * scale),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const auto windows = composeWindows(snapshot.displays, snapshot.state, readAllPanels(paths), continuousNowNs());
    for (auto w = windows.rbegin(); w != windows.rend(); ++w) {
        if (!w->onScreen || !w->bounds.intersects(r)) {
            continue;
        }
        const QRectF at(w->bounds.minX() - r.minX(), w->bounds.minY() - r.minY(), w->bounds.size.width,
                        w->bounds.size.height);
        if (w->owner == "Finder" && w->layer == kDesktopIconWindowLevel) {
            painter.fillRect(at, kWallpaper);
        } else if (w->owner == "Window Server" && w->layer == kMainMenuWindowLevel) {
            drawMenuBar(painter, at, scale);
        } else if (w->owner == "MenuBarAgent" && w->layer == kMainMenuWindowLevel) {
            painter.fillRect(at, kCover);
        } else if (w->pid == 0) {
            painter.fillRect(at, kAppContent);
        } else {
            // An app's panel: its own pixels, as it drew them.
            for (const auto& app : readAllPanels(paths)) {
                for (const auto& panel : app.panels) {
                    if (app.pid != w->pid || toQuartz(panel.frame, screens) != w->bounds) {
                        continue;
                    }
                    const QImage pixels(QString::fromStdString(backingStore(paths, app.pid, panel.id).string()));
                    if (!pixels.isNull()) {
                        painter.setOpacity(w->alpha);
                        painter.drawImage(at, pixels);
                        painter.setOpacity(1);
                    }
                }
            }
        }
    }
    painter.end();
    if (width && *width * scale < image.width()) {
        image = image.copy(0, 0, static_cast<int>(*width * scale), image.height());
    }
    if (!image.save(QString::fromStdString(file), "PNG")) {
        std::fprintf(stderr, "vmac screen: cannot write %s\n", file.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

}  // namespace lidora::vmac

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return lidora::vmac::snapshot(lidora::vmac::VmacPaths::fromEnvironment(), arguments);
}
