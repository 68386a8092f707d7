// vmac logo: how the lid logo is lit, as corebrightnessd last worked it out.
#include <cstdio>
#include <ctime>

#include "platform/corebrightness/LogoState.h"
#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/LogoText.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac logo [--nits]\n\n"
    "Shows whether the lid logo is lit, its luminance in nits, the tables in\n"
    "effect and the display brightness and ambient light they were read at.\n"
    "With --nits, prints only the luminance (0 when dark).\n";

}  // namespace

int runLogo(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const bool nitsOnly = arguments.size() == 1 && arguments[0] == "--nits";
    if (!arguments.empty() && !nitsOnly) {
        std::fprintf(stderr, "vmac logo: unknown argument '%s'\n%s", arguments[0].c_str(), kUsage);
        return 64;
    }
    const auto state = logoStateRecord(paths, [](const std::string& warning) {
                           std::fprintf(stderr, "vmac logo: %s\n", warning.c_str());
                       }).read();
    if (!state) {
        std::fprintf(stderr, "vmac logo: %s\n", state.error().c_str());
        return 1;
    }
    if (!*state) {
        std::fprintf(stderr, "vmac logo: corebrightnessd has not lit the logo yet; is the virtual Mac booted?\n");
        return 1;
    }
    const auto& logo = **state;
    if (nitsOnly) {
        std::printf("%s\n", formatNits(logo.lit ? logo.nits : 0.0).c_str());
        return 0;
    }
    std::printf("Logo: %s\n", logoSummary(logo).c_str());
    std::printf("Display brightness: %.3f\n", logo.displayBrightness);
    std::printf("Ambient light: %g lux\n", logo.ambientLux);
    std::printf("Curve (LEPWMBrightnessNitsMapping): %s\n", formatTable(logo.tables.curve).c_str());
    std::printf("Floor (LEPWMLuxToMinNitsRestrictionMapping): %s\n", formatTable(logo.tables.floor).c_str());
    const std::time_t seconds = static_cast<std::time_t>(logo.evaluatedAtMs / 1000);
    char when[64] = "";
    std::tm utc{};
    if (::gmtime_r(&seconds, &utc) != nullptr) {
        std::strftime(when, sizeof(when), "%Y-%m-%d %H:%M:%S UTC", &utc);
    }
    std::printf("Evaluated: %s (%s)\n", when, logo.reason.c_str());
    return 0;
}

}  // namespace lidora::vmac
