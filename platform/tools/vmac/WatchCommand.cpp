// vmac watch: the lid logo, live. On a terminal it is drawn in the shade
// the logo shines in; otherwise each change is one line. The luminance is
// sampled at a fixed rate and read back as Morse code.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "core/morse/MorseDecoder.h"
#include "platform/corebrightness/LogoState.h"
#include "platform/launchd/SignalSource.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/LogoText.h"

namespace lidora::vmac {

namespace {

using namespace std::chrono_literals;

constexpr const char* kUsage =
    "usage: vmac watch [--count N] [--seconds S] [--decode-only]\n\n"
    "Shows the lid logo as corebrightnessd lights it, until interrupted. Its\n"
    "luminance is sampled 50 times a second: a breathing logo shows as a level\n"
    "rising and falling, and Morse code is read back from the bright and dark\n"
    "runs, each character as it completes and the whole text at each pause.\n"
    "When the output is not a terminal, prints one line per change of the logo,\n"
    "per character (\"Morse letter: O\") and per text (\"Morse text: ON AIR\").\n\n"
    "  --count N       end after N lines (with --decode-only, N texts)\n"
    "  --seconds S     end after S seconds\n"
    "  --decode-only   print only the texts read back, one line each\n";

constexpr auto kSampleInterval = 20ms;
constexpr double kLongestWatch = 7 * 24 * 3600.0;
constexpr int kBarWidth = 30;

struct WatchOptions {
    std::optional<long> count;
    std::optional<double> seconds;
    bool decodeOnly = false;
};

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

// Nits on a log scale up to 1000, so that dim and bright levels both tell apart.
double share(double nits) {
    return nits <= 0.0 ? 0.0 : std::clamp(std::log10(1.0 + nits) / std::log10(1001.0), 0.0, 1.0);
}

int greyLevel(const LogoState& logo) {
    if (!logo.lit || logo.nits <= 0.0) {
        return 40;
    }
    return 60 + static_cast<int>(std::lround(share(logo.nits) * 195.0));
}

double luminance(const std::optional<LogoState>& logo) {
    return logo && logo->lit ? logo->nits : 0.0;
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

const char* lightName(MorseDecoder::Light light) {
    switch (light) {
        case MorseDecoder::Light::steady: return "steady";
        case MorseDecoder::Light::bright: return "Morse, bright";
        case MorseDecoder::Light::dark: return "Morse, dark";
        case MorseDecoder::Light::changing: return "breathing";
    }
    return "";
}

// "▲ ██████████░░░░ breathing": the level, and which way it moves.
std::string levelLine(double nits, int direction, MorseDecoder::Light light) {
    std::string text = direction > 0 ? "\u25b2 " : direction < 0 ? "\u25bc " : "  ";
    const int filled = static_cast<int>(std::lround(share(nits) * kBarWidth));
    for (int i = 0; i < kBarWidth; ++i) {
        text += i < filled ? "\u2588" : "\u2591";
    }
    return text + " " + lightName(light);
}

struct Screen {
    std::optional<LogoState> logo;
    std::string level;
    std::string reading;  // the text being read
    std::string heard;    // the last whole text
};

void draw(const Screen& screen) {
    std::printf("\x1b[H\x1b[2J");
    const int grey = screen.logo ? greyLevel(*screen.logo) : 40;
    for (const char* row : kLogoArt) {
        std::printf("   \x1b[38;2;%d;%d;%dm", grey, grey, grey);
        for (const char* c = row; *c != '\0'; ++c) {
            std::fputs(*c == '#' ? "\u2588\u2588" : "  ", stdout);
        }
        std::printf("\x1b[0m\n");
    }
    std::printf("\n   %s\n   %s\n   Morse: %s\n   Heard: %s\n   Ctrl-C ends.\n", line(screen.logo).c_str(),
                screen.level.c_str(), screen.reading.c_str(), screen.heard.c_str());
}

bool wholeNumber(const std::string& text) {
    return !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
}

Expected<WatchOptions, std::string> parseOptions(const std::vector<std::string>& arguments) {
    WatchOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--decode-only") {
            options.decodeOnly = true;
        } else if (argument == "--count") {
            if (!hasValue || !wholeNumber(arguments[i + 1]) || std::stol(arguments[i + 1]) <= 0) {
                return unexpected(std::string("--count takes a whole number above 0"));
            }
            options.count = std::stol(arguments[++i]);
        } else if (argument == "--seconds") {
            std::size_t used = 0;
            double seconds = 0.0;
            try {
                seconds = hasValue ? std::stod(arguments[i + 1], &used) : 0.0;
            } catch (const std::exception&) {
                used = 0;
            }
            if (!hasValue || used != arguments[i + 1].size() || !(seconds > 0.0 && seconds <= kLongestWatch)) {
                return unexpected(std::string("--seconds takes a number of seconds above 0, at most a week"));
            }
            options.seconds = seconds;
            ++i;
        } else {
            return unexpected("unknown argument '" + argument + "'");
        }
    }
    return options;
}

}  // namespace

int runWatch(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const auto options = parseOptions(arguments);
    if (!options) {
        std::fprintf(stderr, "vmac watch: %s\n%s", options.error().c_str(), kUsage);
        return 64;
    }
    const bool terminal = !options->decodeOnly && ::isatty(STDOUT_FILENO) == 1;
    PollRunLoop loop;
    auto signals = SignalSource::create(loop, {SIGINT, SIGTERM, SIGHUP}, [&loop](int) { loop.stop(); });
    if (!signals) {
        std::fprintf(stderr, "vmac watch: %s\n", signals.error().c_str());
        return 1;
    }

    const auto record = logoStateRecord(paths);
    const auto started = loop.now();
    MorseDecoder decoder;
    Screen screen;
    std::optional<std::string> shownLine;
    std::optional<double> shownNits;
    long printed = 0;
    const auto print = [&](const std::string& text) {
        if (options->count && printed >= *options->count) {
            return;
        }
        std::printf("%s\n", text.c_str());
        if (options->count && ++printed >= *options->count) {
            loop.stop();
        }
    };
    const auto sample = [&] {
        const auto state = record.read();
        const std::optional<LogoState> logo = state && *state ? std::optional(**state) : std::nullopt;
        const double nits = luminance(logo);
        const double seconds = std::chrono::duration<double>(loop.now() - started).count();
        bool changed = false;
        for (const auto& heard : decoder.sample(seconds, nits)) {
            changed = true;
            switch (heard.kind) {
                case MorseDecoder::Heard::Kind::character:
                    screen.reading += heard.value;
                    if (!options->decodeOnly && !terminal) {
                        print("Morse letter: " + heard.value);
                    }
                    break;
                case MorseDecoder::Heard::Kind::space: screen.reading += ' '; break;
                case MorseDecoder::Heard::Kind::text:
                    screen.heard = heard.value;
                    screen.reading.clear();
                    if (!terminal) {
                        print(options->decodeOnly ? heard.value : "Morse text: " + heard.value);
                    }
                    break;
            }
        }
        const auto text = line(logo);
        if (text != shownLine) {
            const int direction = !shownNits || nits == *shownNits ? 0 : nits > *shownNits ? 1 : -1;
            screen.level = levelLine(nits, direction, decoder.light());
            screen.logo = logo;
            shownLine = text;
            shownNits = nits;
            changed = true;
            if (!options->decodeOnly && !terminal) {
                const bool moving = decoder.light() == MorseDecoder::Light::changing && direction != 0;
                print(moving ? (direction > 0 ? "\u25b2 " : "\u25bc ") + text : text);
            }
        }
        if (terminal && changed) {
            draw(screen);
        }
        std::fflush(stdout);
    };
    const auto ticks = loop.scheduleRepeating(kSampleInterval, sample);
    std::optional<Cancellable> deadline;
    if (options->seconds) {
        deadline =
            loop.scheduleAfter(std::chrono::duration_cast<Duration>(std::chrono::duration<double>(*options->seconds)),
                               [&loop] { loop.stop(); });
    }
    sample();
    loop.run();
    if (terminal) {
        std::printf("\n");
    }
    return 0;
}

}  // namespace lidora::vmac
