#pragma once

// A minimal 8-bit filter plug-in for testing the command-line host: it
// inverts the colour planes of the image in bands of seven rows, either inside
// start through advanceState or, the classic way, one band per continue call.
// It leaves the descriptor the host plays for the host to record, or records
// LAKRA_THREADS as "Thrd" in its place when that is set.

#include "host/abi.h"

#include <cstdint>
#include <vector>

namespace lakra::testing {

struct Stub {
    // How it works: set by the test.
    bool classic = false;       // work in continue calls instead of advanceState
    int32_t interruptAfter = 0; // raise SIGINT after this many bands; 0 never
    Result startResult = noErr; // returned by start, which then does nothing
    // What it met.
    std::vector<int16_t> selectors;
    int32_t bands = 0;
    bool aborted = false;
};

Stub& stub(); // reset with stub() = Stub{}

void stubPluginMain(int16_t selector, void* record, intptr_t* data, int16_t* result) noexcept;

} // namespace lakra::testing
