#include "host/hostContext.h"

#include "host/blocks.h"

namespace lakra {

namespace {

HostContext gHost;
void* gModuleInstance = nullptr;

} // namespace

HostContext& currentHost() {
    return gHost;
}

void setModuleInstance(void* instance) {
    gModuleInstance = instance;
}

void* moduleInstance() {
    return gModuleInstance;
}

void setHostResult(Result result) {
    if (gHost.resultSlot != nullptr) {
        *gHost.resultSlot = result;
    }
}

Result hostResult() {
    return gHost.resultSlot != nullptr ? *gHost.resultSlot : noErr;
}

CurrentCall::CurrentCall(FilterRecord* record, intptr_t* dataSlot, int16_t* resultSlot,
                         SPBasicSuite* basicSuite) {
    gHost = HostContext{record, dataSlot, resultSlot, basicSuite, nullptr, nullptr};
}

CurrentCall::~CurrentCall() {
    if (unlock) {
        unlockBlocks();
    }
    gHost = HostContext{};
}

} // namespace lakra
