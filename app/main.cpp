// Lidora: the menu-bar app. Builds the app's objects over the virtual Mac's
// services and hands control to Qt's event loop.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <optional>

#include "app/MenuBarExtra.h"
#include "app/MessageWindow.h"
#include "app/ModuleSliderAccessibility.h"
#include "app/QtAccessibility.h"
#include "app/QtApplicationShell.h"
#include "app/QtLogoPanel.h"
#include "app/QtRunLoop.h"
#include "core/brightness/CoreBrightnessBackend.h"
#include "core/effects/DeviceUsageMonitor.h"
#include "core/effects/LogoEffectsWatcher.h"
#include "core/light/DaemonRegistration.h"
#include "core/light/HelperClient.h"
#include "core/shell/AppDelegate.h"
#include "core/shell/PanelPresenter.h"
#include "core/shortcuts/ShortcutsRunner.h"
#include "platform/bus/AccessibilityServer.h"
#include "platform/bus/ApplicationInstance.h"
#include "platform/bus/BusControlCenter.h"
#include "platform/bus/BusDarwinNotificationCenter.h"
#include "platform/bus/BusDistributedNotificationCenter.h"
#include "platform/bus/BusHotKeyEventManager.h"
#include "platform/bus/BusWorkspace.h"
#include "platform/bus/VmacBus.h"
#include "platform/displays/VirtualDisplayList.h"
#include "platform/frameworks/CoreBrightnessLoader.h"
#include "platform/log/UnifiedLogSink.h"
#include "platform/media/VirtualAudioHardware.h"
#include "platform/media/VirtualCMIOHardware.h"
#include "platform/prefs/FileUserDefaults.h"
#include "platform/servicemanagement/VirtualDaemonService.h"
#include "platform/session/VirtualPowerSources.h"
#include "platform/session/VirtualSessionInfo.h"
#include "platform/shortcuts/ShortcutsHost.h"
#include "platform/sparkle/SparkleUpdaterFactory.h"
#include "platform/sparkle/qt/QtUpdateDialog.h"
#include "platform/system/AutostartLoginItem.h"
#include "platform/system/VirtualProcessEnvironment.h"
#include "platform/system/VirtualSystemControl.h"
#include "platform/system/VirtualSystemSettings.h"
#include "platform/vmac/FileDescriptor.h"
#include "platform/windowserver/VirtualWindowServer.h"
#include "platform/xpc/MachService.h"
#include "platform/xpc/XpcClientConnection.h"

using namespace lidora;
using namespace lidora::vmac;

namespace {

constexpr std::string_view kBundleIdentifier = "com.zelquin.lidora";
constexpr Duration kBusSetUpLimit = std::chrono::seconds(1);

// Without a desktop session the app runs headless and is driven from outside.
void chooseDisplay() {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr &&
        std::getenv("WAYLAND_DISPLAY") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
}

// SIGTERM and SIGINT end the app through its normal termination, so the
// delegate stops the effects first.
FileDescriptor quitOnSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    ::sigprocmask(SIG_BLOCK, &signals, nullptr);
    return FileDescriptor(::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));
}

}  // namespace

int main(int argc, char** argv) {
    chooseDisplay();
    const auto signals = quitOnSignals();
    QApplication qt(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    app::installModuleSliderAccessibility();
    QApplication::setApplicationName(QStringLiteral("Lidora"));
    QApplication::setApplicationDisplayName(QStringLiteral("Lidora"));

    const auto paths = VmacPaths::fromEnvironment();
    app::QtRunLoop loop;
    const auto sink = UnifiedLogSink::forCurrentProcess();
    const Logger appLog(sink, std::string(kLogSubsystem), "app");
    auto signalWatch = loop.watch(signals.get(), FdEvent::Readable, [&](unsigned) {
        signalfd_siginfo info{};
        while (::read(signals.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
        QApplication::quit();
    });

    FileUserDefaults defaults(paths, std::string(kBundleIdentifier),
                              [&](const std::string& warning) { appLog.error("%{public}s", warning); });
    VirtualProcessEnvironment environment(paths);
    const std::filesystem::path bundle = environment.hostBundlePath();
    QApplication::setWindowIcon(
        QIcon(QString::fromStdString((bundle / "Contents" / "Resources" / "AppIcon.svg").string())));
    const auto info = environment.bundleInfo();
    if (const auto found = info.find("CFBundleShortVersionString"); found != info.end() && found->second.isString()) {
        QApplication::setApplicationVersion(QString::fromStdString(*found->second.asString()));
    }

    // Other processes change preferences too (the extension, Shortcuts,
    // defaults); the delegate and the views follow them as they follow ours.
    std::vector<Cancellable> preferenceWatches;
    for (const auto domain : {kBundleIdentifier, kAppGroupSuite}) {
        auto watch = defaults.followWritesOf(loop, domain);
        if (watch) {
            preferenceWatches.push_back(std::move(watch).value());
        } else {
            appLog.error("cannot watch the preferences: %{public}s", watch.error());
        }
    }

    VmacBus bus(loop, paths, Logger(sink, "com.zelquin.vmac", "bus"));
    const ApplicationInstance instance(bus, std::string(kBundleIdentifier), [&](NameClaim claim) {
        if (claim == NameClaim::TakenByAnother) {
            appLog.notice("Lidora is already running; this copy quits");
            QApplication::exit(0);
        }
    });

    VirtualXpcConnector connector(loop, machServiceSocket(paths, "").parent_path());
    HelperClient client(loop, connector, kHelperCallTimeout);
    VirtualDaemonService service(paths, bundle, std::string(kHelperPlistName), loop);
    VirtualSystemSettings settings(paths);
    DaemonRegistration registration(service, settings, loop);
    const VirtualSystemControl control(paths);

    LogoBrightnessController brightness(
        std::make_unique<CoreBrightnessBackend>(loadCoreBrightnessFrameworks(paths),
                                                std::make_shared<VirtualDisplayList>(paths), loop),
        defaults, Logger(sink, std::string(kLogSubsystem), std::string(kBrightnessLogCategory)));

    BusControlCenter controls(bus, paths, Logger(sink, "com.apple.widgetkit", "controls"));
    BusDarwinNotificationCenter notifications(bus);
    BusWorkspace workspace(bus, std::string(kBundleIdentifier));
    BusHotKeyEventManager hotKeys(bus, paths, Logger(sink, "com.apple.HIToolbox", "hotkeys"));
    AutostartLoginItem loginItem(paths, bundle, std::string(kBundleIdentifier));
    app::QtApplicationShell shell(bundle / "Contents" / "Resources");
    app::PlainWindowHolder settingsWindow(QStringLiteral("Lidora Settings"));
    // Built on first show, when the delegate's controller and effects exist.
    AppDelegate* owner = nullptr;
    app::MessageWindow messageWindow(
        [&] {
            return MessageParts{loop, owner->effects(), owner->controller(), defaults};
        },
        shell);
    // The classic logo's panels, on the virtual Mac's window server.
    const auto windowServerState = std::make_shared<WindowServerReader>(paths);
    VirtualWindowServer windowServer(windowServerState);
    VirtualScreens screens(windowServerState, bus);
    VirtualEventMonitors events(windowServerState, bus);
    PanelRegistry panelRegistry(paths, "Lidora");
    app::QtLogoPanelMaker panelMaker(panelRegistry, windowServerState);
    AppleLogoOverlay overlay({loop, windowServer, screens, panelMaker, sink});

    BusDistributedNotificationCenter distributed(bus);
    const VirtualSessionInfo session(paths);
    const VirtualPowerSources power(paths);
    VirtualCMIOHardware cameras(loop, paths);
    VirtualAudioHardware audio(loop, paths);
    const auto standardDefaults = defaults.standard();
    const auto groupDefaults = suiteOrStandard(defaults, kAppGroupSuite);
    const LogoEffectsFactory makeEffects = [&](LogoEffectsLight light) -> std::unique_ptr<LogoEffects> {
        auto makeDevices = [&](std::function<void()> onChange) -> std::unique_ptr<DeviceUsage> {
            return std::make_unique<DeviceUsageMonitor>(cameras, audio, static_cast<std::int32_t>(::getpid()),
                                                        Logger(sink, std::string(kLogSubsystem), "onair"),
                                                        std::move(onChange));
        };
        // The effects share the brightness controller's backend: a nudge
        // pending in a second one would be read as the display's value and
        // restored after the first one's, leaving the display moved.
        return std::make_unique<LogoEffectsWatcher>(LogoEffectsParts{.loop = loop,
                                                                     .backend = brightness.backend(),
                                                                     .brightness = brightness,
                                                                     .standard = *standardDefaults,
                                                                     .group = *groupDefaults,
                                                                     .controls = controls,
                                                                     .distributed = distributed,
                                                                     .workspace = workspace,
                                                                     .darwin = notifications,
                                                                     .session = session,
                                                                     .power = power,
                                                                     .makeDevices = makeDevices,
                                                                     .light = std::move(light),
                                                                     .logSink = sink});
    };

    auto updaterFactory = makeStandardUpdaterControllerFactory(
        loop, paths,
        SparkleHostOptions{defaults.standard(), std::make_shared<QtUpdateDialog>(QStringLiteral("Lidora")),
                           [&shell] { return shell.isActive(); },
                           Logger(sink, "org.sparkle-project.Sparkle", "updater"), std::nullopt});

    AppDelegate delegate(AppParts{.loop = loop,
                                  .logSink = sink,
                                  .defaults = defaults,
                                  .light = client,
                                  .registration = registration,
                                  .modelIdentifier = readModelIdentifier(control),
                                  .environment = environment,
                                  .brightness = brightness,
                                  .controls = controls,
                                  .notifications = notifications,
                                  .workspace = workspace,
                                  .hotKeyEvents = hotKeys,
                                  .loginItem = loginItem,
                                  .application = shell,
                                  .settingsWindow = settingsWindow,
                                  .messageWindow = messageWindow,
                                  .makeEffects = makeEffects,
                                  .overlay = overlay,
                                  .events = events,
                                  .makeUpdaterController = std::move(updaterFactory)});
    owner = &delegate;
    delegate.controller();

    // Shortcuts runs the actions in this process. The Morse action needs the
    // delegate, which it reaches once the launch has begun.
    ShortcutsDelegate* sharedDelegate = nullptr;
    ShortcutsContext shortcuts{client, defaults, brightness, controls, notifications, [&] { return sharedDelegate; }};
    const ShortcutsHost shortcutsHost(
        loop, bus,
        [&](std::string identifier, ActionArguments arguments) {
            return runShortcutsAction(shortcuts, std::move(identifier), std::move(arguments));
        },
        Logger(sink, std::string(kLogSubsystem), "shortcuts"));
    // Launch once the bus connection is set up: from then on each observer
    // the delegate adds is in force when added, so nothing posted after it
    // is missed. A bus that does not answer holds the launch a second at
    // most; its observers follow when it comes.
    std::optional<PanelPresenter> presenter;
    std::optional<app::MenuBarExtra> extra;
    const AccessibilityServer uiScripting(
        loop, bus,
        [&] {
            return app::accessibleApplication(
                {.shown = [&] { return extra.has_value(); }, .press = [&] { extra->openPanel(); }});
        },
        Logger(sink, "com.apple.accessibility", "scripting"));
    auto launch = [&] {
        if (presenter) {
            return;
        }
        sharedDelegate = &delegate;
        delegate.applicationDidFinishLaunching();
        presenter.emplace(delegate.panelParts());
        extra.emplace(delegate, *presenter);
    };
    const auto busSetUp = bus.settle([&](bool) { launch(); });
    const auto busSetUpLimit = loop.scheduleAfter(kBusSetUpLimit, launch);
    QObject::connect(&qt, &QApplication::aboutToQuit, [&] { delegate.applicationWillTerminate(); });
    return QApplication::exec();
}
