#include "platform/programinfo/ProgramInfo.h"

#include <cstdio>

const char* const kToolkitVersion = TOOLKIT_VERSION;

namespace {

bool Asks(int argc, char** argv, std::string_view a, std::string_view b = {}) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == a || (!b.empty() && arg == b)) return true;
    }
    return false;
}

}  // namespace

bool AnswerVersion(int argc, char** argv, std::string_view program) {
    if (!Asks(argc, argv, "--version")) return false;
    std::printf("%.*s %s\n", static_cast<int>(program.size()), program.data(), kToolkitVersion);
    return true;
}

bool AsksForHelp(int argc, char** argv) { return Asks(argc, argv, "--help", "-h"); }

bool AnswerHelpOrVersion(int argc, char** argv, std::string_view program, std::string_view usage) {
    if (AnswerVersion(argc, argv, program)) return true;
    if (!AsksForHelp(argc, argv)) return false;
    std::fwrite(usage.data(), 1, usage.size(), stdout);
    return true;
}
