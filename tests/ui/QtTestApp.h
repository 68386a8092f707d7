#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>
#include <memory>

namespace lidora::testing {

inline std::unique_ptr<QApplication>& qtAppHolder() {
    static std::unique_ptr<QApplication> app;
    return app;
}

// Ends the application when the tests are done, before static destruction
// tears down the Qt globals its input devices still use.
class QtAppEnvironment final : public ::testing::Environment {
public:
    void TearDown() override { qtAppHolder().reset(); }
};

// One offscreen QApplication for the whole test program.
inline QApplication& qtApp() {
    auto& app = qtAppHolder();
    if (!app) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "lidora-ui-tests";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
        // gtest owns the environment it is given.
        ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);  // NOLINT(cppcoreguidelines-owning-memory)
    }
    return *app;
}

inline std::filesystem::path screenshotPath(const std::string& name) {
    const std::filesystem::path dir(SCREENSHOT_DIR);
    std::filesystem::create_directories(dir);
    return dir / (name + ".png");
}

}  // namespace lidora::testing
