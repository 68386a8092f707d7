// vmac watch: the lid logo, live. On a terminal it is drawn in the shade
// the logo shines in; otherwise each change is one line.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/corebrightness/LogoState.h"
#include "platform/launchd/SignalSource.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/LogoText.h"
#include "platform/vmac/FileChangeWatch.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac watch [--count N]\n\n"
    "Shows the lid logo as corebrightnessd lights it and redraws it whenever\n"
    "that changes, until interrupted. When the output is not a terminal, prints\n"
    "one line per change instead; --count ends after N of them.\n";

constexpr const char* kLogoArt[] = {
    "          ##  ",  //
    "         ##   ",  //
    "   ####  ## ##",  //
    " #############",  //
    "############  ",  //
    "############  ",  //
    " #############",  //
    "  ########### ",  //
    "   ###   ###  ",
};

// The shade of a logo: nits on a log scale up to 1000, so that dim and
// bright levels both tell apart.
int greyLevel(const LogoState& logo) {
    if (!logo.lit || logo.nits <= 0.0) {
        return 40;
    }
    const double share = std::clamp(std::log10(1.0 + logo.nits) / std::log10(1001.0), 0.0, 1.0);
    return 60 + static_cast<int>(std::lround(share * 195.0));
}

std::string line(const std::optional<LogoState>& logo) {
    if (!logo) {
        return "no logo yet: corebrightnessd has not lit it";
    }
    char text[160];
    std::snprintf(text, sizeof(text), "%s (display brightness %.3f, %g lux)", logoSummary(*logo).c_str(),
                  logo->displayBrightness, logo->ambientLux);
    return text;
}

void draw(const std::optional<LogoState>& logo) {
    std::printf("\x1b[H\x1b[2J");
    const int grey = logo ? greyLevel(*logo) : 40;
    for (const char* row : kLogoArt) {
        std::printf("   \x1b[38;2;%d;%d;%dm", grey, grey, grey);
        for (const char* c = row; *c != '\0'; ++c) {
            std::fputs(*c == '#' ? "\u2588\u2588" : "  ", stdout);
        }
        std::printf("\x1b[0m\n");
    }
    std::printf("\n   %s\n   Ctrl-C ends.\n", line(logo).c_str());
}

std::optional<long> parseCount(const std::vector<std::string>& arguments) {
    if (arguments.size() != 2 || arguments[0] != "--count" || arguments[1].empty() || arguments[1].size() > 9 ||
        arguments[1].find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const long count = std::stol(arguments[1]);
    return count > 0 ? std::optional(count) : std::nullopt;
}

}  // namespace

int runWatch(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const auto count = parseCount(arguments);
    if (!arguments.empty() && !count) {
        std::fprintf(stderr, "vmac watch: --count takes a whole number above 0\n%s", kUsage);
        return 64;
    }
    const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    if (!makeDirectories(logoStateFolder(paths))) {
        std::fprintf(stderr, "vmac watch: cannot create %s\n", logoStateFolder(paths).c_str());
        return 1;
    }
    PollRunLoop loop;
    auto signals = SignalSource::create(loop, {SIGINT, SIGTERM, SIGHUP}, [&loop](int) { loop.stop(); });
    if (!signals) {
        std::fprintf(stderr, "vmac watch: %s\n", signals.error().c_str());
        return 1;
    }

    auto record = logoStateRecord(paths);
    std::optional<std::string> shown;
    long changes = 0;
    const auto refresh = [&] {
        const auto state = record.read();
        const std::optional<LogoState> logo = state && *state ? std::optional(**state) : std::nullopt;
        const auto text = line(logo);
        if (text == shown) {
            return;
        }
        shown = text;
        if (terminal) {
            draw(logo);
        } else {
            std::printf("%s\n", text.c_str());
        }
        std::fflush(stdout);
        if (count && ++changes >= *count) {
            loop.stop();
        }
    };
    auto watch = FileChangeWatch::create(loop, record.file(), refresh);
    if (!watch) {
        std::fprintf(stderr, "vmac watch: %s\n", watch.error().c_str());
        return 1;
    }
    refresh();
    loop.run();
    if (terminal) {
        std::printf("\n");
    }
    return 0;
}

}  // namespace lidora::vmac
