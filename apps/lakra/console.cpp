#include "apps/lakra/console.h"

#include <cstdio>

namespace lakra {

void complain(const std::string& message) {
    static_cast<void>(std::fprintf(stderr, "lakra: %s\n", message.c_str()));
}

int usageError(const std::string& message) {
    complain(message + "\nRun with --help for more information.");
    return kExitUsage;
}

} // namespace lakra
