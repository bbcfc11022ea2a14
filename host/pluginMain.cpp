#include "host/pluginMain.h"

#include "host/abi.h"
#include "host/hostContext.h"
#include "host/selectors.h"
#include "platform/platform.h"

using namespace lakra;

extern "C" LAKRA_EXPORT void PluginMain(int16_t selector, void* record, intptr_t* data,
                                        int16_t* result) noexcept {
    debugOutput(">>> PluginMain 64bit\n");
    if (record == nullptr || result == nullptr) {
        return; // nothing to work on and nowhere to say so
    }
    *result = noErr;
    if (selector == filterSelectorAbout) {
        // The about record carries the basic suite at its own place; neither
        // block is touched.
        auto* about = static_cast<AboutRecord*>(record);
        const CurrentCall call(nullptr, data, result, about->sSPBasic);
        doAbout();
        return;
    }
    auto* filter = static_cast<FilterRecord*>(record);
    CurrentCall call(filter, data, result, getSPBasic(*filter));
    call.unlockOnExit();
    switch (selector) {
    case filterSelectorParameters:
        doParameters();
        break;
    case filterSelectorPrepare:
        doPrepare();
        break;
    case filterSelectorStart:
        doStart();
        break;
    case filterSelectorContinue:
        doContinue();
        break;
    case filterSelectorFinish:
        doFinish();
        break;
    default:
        break; // an unknown selector only unlocks
    }
}
