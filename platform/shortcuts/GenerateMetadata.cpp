// appintents-metadata OUTPUT: writes the app's App Intents metadata, from
// the same declarations the app runs, as the build extracts it on macOS.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "core/shortcuts/LidoraActions.h"
#include "core/shortcuts/LidoraShortcuts.h"
#include "platform/shortcuts/AppIntentsMetadata.h"

int main(int argc, char** argv) {
    using namespace lidora;
    if (argc != 2) {
        std::fputs("usage: appintents-metadata OUTPUT\n", stderr);
        return 64;
    }
    const std::filesystem::path output(argv[1]);
    const auto text = vmac::metadataJson(vmac::catalogOf(lidoraActions(), appEnums(), lidoraShortcuts()));
    std::error_code error;
    std::filesystem::create_directories(output.parent_path(), error);
    // Written aside and renamed, so an interrupted build leaves no half file.
    auto temporary = output;
    temporary += ".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << text;
        if (!file.flush()) {
            std::fprintf(stderr, "appintents-metadata: cannot write %s\n", temporary.c_str());
            return 1;
        }
    }
    std::filesystem::rename(temporary, output, error);
    if (error) {
        std::fprintf(stderr, "appintents-metadata: %s: %s\n", output.c_str(), error.message().c_str());
        return 1;
    }
    return 0;
}
