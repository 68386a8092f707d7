#include <gtest/gtest.h>

#include <QImage>
#include <cmath>

#include "app/LogoView.h"
#include "tests/ui/QtTestApp.h"

namespace lidora::testing {
namespace {

// The nearest of the six colours to a pixel, or -1 for a clear one.
int stripeOf(const QImage& image, int x, int y) {
    const QColor pixel = image.pixelColor(x, y);
    if (pixel.alpha() < 250) {
        return -1;
    }
    int best = -1;
    double bestDistance = 1e9;
    for (std::size_t i = 0; i < kClassicColors.size(); ++i) {
        const auto& c = kClassicColors[i];
        const double distance = std::pow(pixel.redF() - c.red, 2) + std::pow(pixel.greenF() - c.green, 2) +
                                std::pow(pixel.blueF() - c.blue, 2);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<int>(i);
        }
    }
    return bestDistance < 0.01 ? best : -2;
}

// Opaque rows of the ink, top to bottom, and its horizontal centre below the leaf.
struct Ink {
    int top = -1;
    int bottom = -1;
    double bodyCentre = 0;
};

Ink inkOf(const QImage& image) {
    Ink ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).alpha() > 128) {
                ink.top = ink.top < 0 ? y : ink.top;
                ink.bottom = y;
            }
        }
    }
    // The body's widest row lies in its lower half.
    int left = image.width();
    int right = -1;
    for (int y = (ink.top + ink.bottom) / 2; y <= ink.bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).alpha() > 128) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    ink.bodyCentre = (left + right + 1) / 2.0;
    return ink;
}

TEST(LogoView, RainbowStripesLeafAndPlacementAtEachScale) {
    qtApp();
    struct Row {
        double scale;
        double barHeight;
    };
    const Row rows[] = {{1, 24}, {2, 24}, {2, 37}, {1, 37}};
    for (const auto& row : rows) {
        const auto image = app::renderLogo({Style::rainbow(), Placement{}}, QSizeF(54.3, row.barHeight), row.scale);
        const std::string label = "@" + std::to_string(static_cast<int>(row.scale)) + "x, bar " +
                                  std::to_string(static_cast<int>(row.barHeight));
        ASSERT_EQ(image.height(), static_cast<int>(std::lround(row.barHeight * row.scale))) << label;
        const auto ink = inkOf(image);
        ASSERT_GE(ink.top, 0) << label;
        // 13.25 × 17.625 points of ink, centred at 27.15, a point or so for the enlarged leaf.
        EXPECT_NEAR((ink.bottom - ink.top + 1) / row.scale, 17.625, 1.6) << label;
        EXPECT_NEAR(ink.bodyCentre / row.scale, 27.15, 0.6) << label;

        // Down the left lobe the stripes come in order, green to blue.
        std::vector<int> seen;
        const int x = static_cast<int>((27.15 - 3.5) * row.scale);
        for (int y = ink.top; y <= ink.bottom; ++y) {
            const int stripe = stripeOf(image, x, y);
            if (stripe >= 0 && (seen.empty() || seen.back() != stripe)) {
                seen.push_back(stripe);
            }
        }
        EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 5})) << label;

        // The leaf, above the body, is the top stripe's green.
        int leafGreen = 0;
        int leafOther = 0;
        for (int y = ink.top; y < ink.top + static_cast<int>(2 * row.scale); ++y) {
            for (int x2 = 0; x2 < image.width(); ++x2) {
                const int stripe = stripeOf(image, x2, y);
                leafGreen += stripe == 0 ? 1 : 0;
                leafOther += stripe > 0 ? 1 : 0;
            }
        }
        EXPECT_GT(leafGreen, 0) << label;
        EXPECT_EQ(leafOther, 0) << label;
        EXPECT_TRUE(image.save(
            QString::fromStdString(screenshotPath("classic-logo-" + std::to_string(static_cast<int>(row.scale)) + "x-" +
                                                  std::to_string(static_cast<int>(row.barHeight)))
                                       .string())));
    }
}

TEST(LogoView, SolidStyleIsOneColourAndTheViewKeepsWhatItWasMadeWith) {
    qtApp();
    const Color white{1, 1, 1, 1};
    const auto image = app::renderLogo({Style::solidColor(white), Placement{}}, QSizeF(54.3, 24), 2);
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const auto pixel = image.pixelColor(x, y);
            if (pixel.alpha() == 255) {
                ++opaque;
                EXPECT_EQ(pixel, QColor(Qt::white));
            }
        }
    }
    EXPECT_GT(opaque, 200);
    const app::LogoView view(Style::rainbow(), Placement{});
    EXPECT_TRUE(view.style().isRainbow());
    EXPECT_EQ(view.placement().centerX, 27.15);
}

}  // namespace
}  // namespace lidora::testing
