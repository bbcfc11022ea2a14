#pragma once

// A minimal 8-bit filter plug-in for testing the command-line host: it
// inverts the colour planes of the image in bands of seven rows, either inside
// start through advanceState or, the classic way, one band per continue call.
// It reads the descriptor the host plays at start and records what it read
// (plus LAKRA_THREADS as "Thrd") at finish.

#include "host/abi.h"

#include <cstdint>
#include <vector>

namespace lakra::testing {

// One value the stub read from the host's descriptor.
struct StubValue {
    DescriptorKeyID key = 0;
    DescriptorTypeID type = 0;
    int32_t flags = 0;
    int32_t integer = 0;
    double real = 0.0;
    DescriptorEnumID enumValue = 0;
};

struct Stub {
    // How it works: set by the test.
    bool classic = false;       // work in continue calls instead of advanceState
    int32_t interruptAfter = 0; // raise SIGINT after this many bands; 0 never
    Result startResult = noErr; // returned by start, which then does nothing
    // What it met.
    std::vector<int16_t> selectors;
    std::vector<StubValue> read;
    Result readClose = noErr;
    int32_t bands = 0;
    bool aborted = false;
};

Stub& stub(); // reset with stub() = Stub{}

void stubPluginMain(int16_t selector, void* record, intptr_t* data, int16_t* result) noexcept;

} // namespace lakra::testing
