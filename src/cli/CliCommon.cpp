#include "cli/CliCommon.h"

#include <cstdio>

namespace cli {

void PrintError(const std::string& message) {
    std::fprintf(stderr, "proj2wav: %s\n", message.c_str());
}

void PrintWarning(const std::string& message) {
    std::fprintf(stderr, "proj2wav: warning: %s\n", message.c_str());
}

}  // namespace cli
