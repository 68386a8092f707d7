#pragma once

#include <QApplication>
#include <filesystem>
#include <memory>

namespace lidora::testing {

// One offscreen QApplication for the whole test program.
inline QApplication& qtApp() {
    static std::unique_ptr<QApplication> app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "lidora-ui-tests";
        static char* argv[] = {name, nullptr};
        return std::make_unique<QApplication>(argc, argv);
    }();
    return *app;
}

inline std::filesystem::path screenshotPath(const std::string& name) {
    const std::filesystem::path dir(SCREENSHOT_DIR);
    std::filesystem::create_directories(dir);
    return dir / (name + ".png");
}

}  // namespace lidora::testing
