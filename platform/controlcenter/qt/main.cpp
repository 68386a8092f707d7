// controlcenter-window: Control Center's controls in a small window, as
// `vmac controlcenter --window` shows them. A click switches or taps; the
// tiles follow the reloads apps ask for.
#include <QApplication>
#include <cstdio>

#include "app/QtRunLoop.h"
#include "platform/bus/BusProtocol.h"
#include "platform/controlcenter/ControlCatalog.h"
#include "platform/controlcenter/qt/ControlCenterWindow.h"

using namespace lidora;
using namespace lidora::vmac;

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    const auto paths = VmacPaths::fromEnvironment();
    const ControlExtensionHost host(paths);
    const auto offered = offeredControls(host, paths);
    if (!offered) {
        std::fprintf(stderr, "vmac controlcenter: %s\n", offered.error().c_str());
        return 1;
    }
    std::vector<ShownControl> shown;
    auto refresh = [&](const std::string& kind) {
        for (std::size_t i = 0; i < offered->size(); ++i) {
            const auto& control = (*offered)[i];
            if (kind.empty() || control.description.kind == kind) {
                shown[i].shown =
                    shownTemplate(host, control.extension, control.description.kind, ControlRequest::Kind::value);
            }
        }
    };
    for (const auto& control : *offered) {
        shown.push_back({control.description.kind, control.description.displayName, unexpected(std::string())});
    }
    refresh({});

    ControlCenterWindow* window = nullptr;
    auto activate = [&](const std::string& kind) {
        for (std::size_t i = 0; i < offered->size(); ++i) {
            const auto& control = (*offered)[i];
            if (control.description.kind != kind) {
                continue;
            }
            std::optional<bool> value;
            if (control.description.style == ControlTemplate::Style::toggle) {
                value = !(shown[i].shown && shown[i].shown->isOn);
            }
            const auto done = host.request(control.extension, {ControlRequest::Kind::perform, kind, value});
            if (!done || done->failure) {
                std::fprintf(stderr, "%s\n", done ? done->failure->c_str() : done.error().c_str());
            }
            refresh(kind);
        }
        window->setControls(shown);
    };
    ControlCenterWindow view(activate);
    window = &view;
    view.setControls(shown);

    app::QtRunLoop loop;
    VmacBus bus(loop, paths, Logger());
    const auto reloads = bus.subscribe(kControlsReloaded, std::nullopt, [&](sd_bus_message* message) {
        const char* kind = nullptr;
        if (sd_bus_message_read(message, "s", &kind) >= 0 && kind != nullptr) {
            refresh(kind);
            view.setControls(shown);
        }
    });
    view.show();
    return QApplication::exec();
}
