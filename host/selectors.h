#pragma once

#include "host/abi.h"
#include "platform/result.h"

namespace lakra {

struct PluginState;
struct Settings;

// One function per selector; each works on the current host context.
void doAbout();
void doParameters();
void doPrepare();
void doStart();
void doContinue();
void doFinish();

// Releases everything a run allocated: images, proxy, memory-dot map saved.
void cleanUpRun();

// Reads the host's image into the source pyramid and builds its levels.
[[nodiscard]] Result loadHostImage(FilterRecord& record, Settings* settings, PluginState* state);
// Points the renderer at the host's image: its size, format and the source.
void aimRenderAtHost(const FilterRecord& record, PluginState* state);

} // namespace lakra
