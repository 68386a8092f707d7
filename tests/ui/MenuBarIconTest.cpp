#include <gtest/gtest.h>

#include <QImage>

#include "app/MenuBarIcon.h"
#include "app/SymbolCatalog.h"
#include "tests/ui/QtTestApp.h"

namespace lidora::testing {
namespace {

bool hasColor(const QImage& image, const QColor& wanted) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() == 255 && std::abs(pixel.red() - wanted.red()) < 8 &&
                std::abs(pixel.green() - wanted.green()) < 8 && std::abs(pixel.blue() - wanted.blue()) < 8) {
                return true;
            }
        }
    }
    return false;
}

TEST(MenuBarIcon, VariantsAreDrawnInTheirColoursAndSaved) {
    qtApp();
    const std::optional<LightState> states[] = {LightState::on, LightState::off, std::nullopt};
    for (const auto state : states) {
        for (const bool colored : {true, false}) {
            for (const bool dark : {true, false}) {
                const auto appearance = menuBarIconAppearance(state, colored);
                const auto image = app::menuBarIconImage(appearance, dark, 4);
                ASSERT_FALSE(image.isNull());
                EXPECT_EQ(image.width(), 56);
                const bool yellow = hasColor(image, app::kSystemYellow);
                EXPECT_EQ(yellow, colored && state == LightState::on) << appearance.symbol;
                EXPECT_TRUE(hasColor(image, dark ? QColor(Qt::white) : QColor(Qt::black))) << appearance.symbol;
                const std::string name = "menubar-" + std::string(appearance.symbol) + (colored ? "-colored" : "") +
                                         (dark ? "-dark" : "-light");
                EXPECT_TRUE(image.save(QString::fromStdString(screenshotPath(name).string())));
            }
        }
    }
}

TEST(SymbolCatalog, UnknownSymbolsAndSizesGiveNoImage) {
    EXPECT_TRUE(app::SymbolCatalog::render("sun.max", 16, 2, Qt::black, Qt::black).width() == 32);
    EXPECT_TRUE(app::SymbolCatalog::render("star", 16, 2, Qt::black, Qt::black).isNull());
    EXPECT_TRUE(app::SymbolCatalog::render("sun.max", 0, 2, Qt::black, Qt::black).isNull());
}

}  // namespace
}  // namespace lidora::testing
