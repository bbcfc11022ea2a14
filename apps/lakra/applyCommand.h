#pragma once

// `lakra apply`: read the image (and selection), run the plug-in on it with
// the look as a silently played action, write the result (and the recorded
// descriptor).

#include "apps/lakra/console.h"
#include "apps/lakra/protocolHost.h"
#include "render/settings.h"

#include <string>

namespace lakra {

struct ApplyJob {
    std::string inputPath;
    std::string outputPath;
    std::string maskPath;   // empty: no selection
    std::string recordPath; // empty: the recorded descriptor is not kept
    Settings look{};
    PluginEntry entry = nullptr;
    bool reportProgress = false;
    // --timings: one line on stderr with the milliseconds of each phase.
    bool reportTimings = false;
    // `lakra edit`: the look is played with its dialog shown, and the host
    // offers what a preview needs.
    bool interactive = false;
};

// Runs the job and returns the exit code; every failure is explained on
// stderr. The output file (and the record) are written only after a run that
// ended without error and without Ctrl-C.
[[nodiscard]] int runApply(const ApplyJob& job);

} // namespace lakra
