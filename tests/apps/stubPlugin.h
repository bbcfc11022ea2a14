#pragma once

// A minimal filter plug-in for testing the command-line host: it inverts the
// colour planes of the image, either inside start through advanceState or,
// the classic way, one band per continue call. It reads the descriptor the
// host plays at start and records what it read (plus LAKRA_THREADS as "Thrd")
// at finish.

#include "host/abi.h"

#include <cstdint>
#include <vector>

namespace lakra::testing {

struct StubConfig {
    bool classic = false;       // work in continue calls instead of advanceState
    int32_t bandRows = 7;       // rows per request
    int32_t interruptAfter = 0; // raise SIGINT after this many bands; 0 never
    Result startResult = noErr; // returned by start, which then does nothing
    bool recordAtFinish = true;
};

// One value the stub read from the host's descriptor.
struct StubValue {
    DescriptorKeyID key = 0;
    DescriptorTypeID type = 0;
    int32_t flags = 0;
    int32_t integer = 0;
    double real = 0.0;
    DescriptorEnumID enumValue = 0;
};

struct StubLog {
    std::vector<int16_t> selectors;
    std::vector<StubValue> read;
    Result readClose = noErr;
    int32_t bands = 0;
    bool aborted = false;
};

StubConfig& stubConfig();
StubLog& stubLog();
void stubReset(); // default configuration, empty log

void stubPluginMain(int16_t selector, void* record, intptr_t* data, int16_t* result) noexcept;

} // namespace lakra::testing
