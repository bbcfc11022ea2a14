#pragma once

// `lakra apply`: read the image (and selection), run the plug-in on it with
// the look as a silently played action, write the result (and the recorded
// descriptor).

#include "apps/lakra/protocolHost.h"
#include "render/settings.h"

#include <string>

namespace lakra {

// Exit codes of the command line.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;      // unreadable input, unwritable output, plug-in error
inline constexpr int kExitUsage = 2;       // bad arguments
inline constexpr int kExitCancelled = 130; // Ctrl-C: nothing written

struct ApplyJob {
    std::string inputPath;
    std::string outputPath;
    std::string maskPath;   // empty: no selection
    std::string recordPath; // empty: the recorded descriptor is not kept
    Settings look{};
    PluginEntry entry = nullptr;
    bool reportProgress = false;
};

// Runs the job and returns the exit code; every failure is explained on
// stderr. The output file (and the record) are written only after a run that
// ended without error and without Ctrl-C.
[[nodiscard]] int runApply(const ApplyJob& job);

} // namespace lakra
