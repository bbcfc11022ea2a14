#pragma once

#include "host/abi.h"
#include "host/pluginState.h"
#include "render/settings.h"

#include <cstdint>

namespace lakra {

// What the host handed over for the call in progress. Valid only while a
// selector runs; render workers may read it but never call the host.
struct HostContext {
    FilterRecord* record = nullptr;
    intptr_t* dataSlot = nullptr;
    int16_t* resultSlot = nullptr;
    SPBasicSuite* basicSuite = nullptr;
    Settings* settings = nullptr; // the locked parameters block
    PluginState* state = nullptr; // the locked state block
};

HostContext& currentHost();

// The module's own instance handle, taken once when the library is attached.
void setModuleInstance(void* instance);
void* moduleInstance();

// Stores a result code in the host's result slot, if there is one.
void setHostResult(Result result);
Result hostResult();

// Publishes the host context for one call and takes it down again, unlocking
// the two blocks on the way out when asked to.
class CurrentCall {
public:
    CurrentCall(FilterRecord* record, intptr_t* dataSlot, int16_t* resultSlot,
                SPBasicSuite* basicSuite);
    CurrentCall(const CurrentCall&) = delete;
    CurrentCall& operator=(const CurrentCall&) = delete;
    ~CurrentCall();

    void unlockOnExit() { unlock = true; }

private:
    bool unlock = false;
};

} // namespace lakra
